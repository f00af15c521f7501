add_executable(quillon-bench-frames ${CMAKE_CURRENT_LIST_DIR}/frames_bench.cpp)
target_link_libraries(quillon-bench-frames PRIVATE quillon_disk quillon_mkdisk_lib)
