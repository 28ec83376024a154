# Polyline refinement and clutter grouping on drawings of 50k, 200k and 1M vertices.
add_executable(bench_refinement ${CMAKE_CURRENT_LIST_DIR}/refinement_bench.cpp)
target_link_libraries(bench_refinement PRIVATE penvex_lib)
