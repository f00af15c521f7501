quillon_add_fuzzer(fuzz_activity SOURCES ${CMAKE_CURRENT_LIST_DIR}/activity_fuzz.cpp
  LIBS quillon_playback_activity_search)
