# Vectorization quality on the demo figures (recall and precision against the figures' own
# segments); it runs the penvex binary given on its command line.
add_executable(bench_quality ${CMAKE_CURRENT_LIST_DIR}/quality_bench.cpp)
target_link_libraries(bench_quality PRIVATE penvex_lib)
