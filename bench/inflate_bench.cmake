# Inflate throughput beside zlib's on the same stream. zlib serves only as the yardstick here
# and is never linked into penvex itself.
find_package(ZLIB)
if(ZLIB_FOUND)
  add_executable(bench_inflate ${CMAKE_CURRENT_LIST_DIR}/inflate_bench.cpp)
  target_link_libraries(bench_inflate PRIVATE penvex_lib ZLIB::ZLIB)
else()
  message(STATUS "zlib development files not found: bench_inflate is not built")
endif()
