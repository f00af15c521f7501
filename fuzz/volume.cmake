quillon_add_fuzzer(fuzz_volume SOURCES ${CMAKE_CURRENT_LIST_DIR}/volume_fuzz.cpp LIBS quillon_disk)
