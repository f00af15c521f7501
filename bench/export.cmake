# quillon-bench-export: quillon-cli export of a whole quad record to MPEG-1
# and AVI, beside the ffmpeg command line doing the same job, and the master
# (.mkv) of the same segment: its CPU time beside the MPEG-1 export's.
#   build/bin/quillon-bench-export [--seconds 60] [--runs 3]
add_executable(quillon-bench-export ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
target_include_directories(quillon-bench-export PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(quillon-bench-export PRIVATE quillon_mkdisk_lib quillon_avi)
add_dependencies(quillon-bench-export quillon-cli)
