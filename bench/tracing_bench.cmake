# Line extraction from a drawn image to the lines set, on drawings of 1, 4 and 16 times the area.
add_executable(bench_tracing ${CMAKE_CURRENT_LIST_DIR}/tracing_bench.cpp)
target_link_libraries(bench_tracing PRIVATE penvex_lib)
