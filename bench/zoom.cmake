# zoom_bench: 16x playback in the one-camera view, whole and enlarged 8x, with
# the real engine and timer; then presentation alone, flat out, per path.
#   build/bin/quillon-bench-zoom [SECONDS]
add_executable(quillon-bench-zoom ${CMAKE_CURRENT_LIST_DIR}/zoom_bench.cpp)
target_link_libraries(quillon-bench-zoom PRIVATE quillon_playback_engine quillon_mkdisk_lib quillon_platform_drives
  Qt6::Gui)
add_dependencies(quillon-bench-zoom quillon_decode)
