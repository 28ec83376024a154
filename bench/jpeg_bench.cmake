# JPEG decoding beside djpeg (libjpeg-turbo-progs), which runs as a separate process.
add_executable(bench_jpeg ${CMAKE_CURRENT_LIST_DIR}/jpeg_bench.cpp)
target_link_libraries(bench_jpeg PRIVATE penvex_lib)
