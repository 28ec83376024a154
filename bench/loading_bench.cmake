# Input loading, conditioning filters and background detection on a 12-megapixel photograph.
add_executable(bench_loading ${CMAKE_CURRENT_LIST_DIR}/loading_bench.cpp)
target_link_libraries(bench_loading PRIVATE penvex_lib)
