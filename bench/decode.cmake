# decode_bench: extraction + decoding + presentation of four-camera records in
# each picture format, beside ffmpeg -threads 1 on the same streams.
#   build/bin/decode_bench [SECONDS]
add_executable(decode_bench ${CMAKE_CURRENT_LIST_DIR}/decode_bench.cpp)
target_link_libraries(decode_bench PRIVATE quillon_disk quillon_mkdisk_lib quillon_playback_decoder
  quillon_playback_present)
# With the tests built, a second table over busier MPEG-4 pictures.
if(TARGET quillon_test_mpeg4)
  target_link_libraries(decode_bench PRIVATE quillon_test_mpeg4)
  target_compile_definitions(decode_bench PRIVATE QUILLON_BENCH_MOVING)
endif()
