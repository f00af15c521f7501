# step_bench: one picture back beside one forward, in each picture format
# (quad view, four cameras decoded), within a second and across its start.
#   build/bin/quillon-bench-step
add_executable(quillon-bench-step ${CMAKE_CURRENT_LIST_DIR}/step_bench.cpp)
target_link_libraries(quillon-bench-step PRIVATE quillon_playback_engine quillon_mkdisk_lib quillon_platform_drives
  Qt6::Gui)
add_dependencies(quillon-bench-step quillon_decode)
