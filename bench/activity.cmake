# activity_bench: quillon-cli activity (exact and fast) on a written
# four-camera record with known motion, beside OpenCV's MOG2 background
# model over the same decoded pictures (python3 with cv2, when there is one),
# with each one's accuracy per camera-second and exact's peak memory on a
# short and a long record.
#   build/bin/activity_bench [SECONDS]   (default 60)
add_executable(activity_bench ${CMAKE_CURRENT_LIST_DIR}/activity_bench.cpp)
target_link_libraries(activity_bench PRIVATE quillon_disk quillon_mkdisk_lib quillon_playback_activity_search)
target_compile_definitions(activity_bench PRIVATE QUILLON_CLI="$<TARGET_FILE:quillon-cli>")
add_dependencies(activity_bench quillon-cli)
