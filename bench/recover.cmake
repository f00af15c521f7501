add_executable(recover_bench ${CMAKE_CURRENT_LIST_DIR}/recover_bench.cpp)
target_link_libraries(recover_bench PRIVATE quillon_mkdisk_lib)
target_compile_definitions(recover_bench PRIVATE QUILLON_CLI="$<TARGET_FILE:quillon-cli>")
add_dependencies(recover_bench quillon-cli)
