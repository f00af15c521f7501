# jobs_bench: the real playback engine at 16x in the quad view, alone and
# beside two background jobs decoding another record flat out: the timer
# ticks' lateness and the jobs' pictures per second.
#   build/bin/jobs_bench [--seconds N] [--format 352x240|720x240|352x288|720x288]
add_executable(jobs_bench ${CMAKE_CURRENT_LIST_DIR}/jobs_bench.cpp)
target_link_libraries(jobs_bench PRIVATE quillon_playback_engine quillon_playback_jobs quillon_mkdisk_lib Qt6::Gui)
