# Deflate size and speed beside zlib's level 6 on the same bytes. zlib serves only as the
# yardstick and is never linked into penvex itself.
find_package(ZLIB)
if(ZLIB_FOUND)
  add_executable(bench_deflate ${CMAKE_CURRENT_LIST_DIR}/deflate_bench.cpp)
  target_link_libraries(bench_deflate PRIVATE penvex_lib ZLIB::ZLIB)
else()
  message(STATUS "zlib development files not found: bench_deflate is not built")
endif()
