add_executable(mkdisk_bench ${CMAKE_CURRENT_LIST_DIR}/mkdisk_bench.cpp)
target_link_libraries(mkdisk_bench PRIVATE quillon_mkdisk_lib)
