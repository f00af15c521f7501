add_executable(quillon-bench-play ${CMAKE_CURRENT_LIST_DIR}/play_bench.cpp)
target_link_libraries(quillon-bench-play PRIVATE quillon_mkdisk_lib)
add_dependencies(quillon-bench-play quillon-cli)
