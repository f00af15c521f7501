# quillon-bench-hash: quillon-cli hash of a 1 GiB image in the page cache
# beside openssl dgst -sha256 and md5sum on the same file.
#   build/bin/quillon-bench-hash [--mib 1024] [--runs 3]
add_executable(quillon-bench-hash ${CMAKE_CURRENT_LIST_DIR}/hash_bench.cpp)
target_include_directories(quillon-bench-hash PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(quillon-bench-hash quillon-cli)
