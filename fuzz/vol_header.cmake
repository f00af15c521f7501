quillon_add_fuzzer(fuzz_vol_header SOURCES ${CMAKE_CURRENT_LIST_DIR}/vol_header_fuzz.cpp LIBS quillon_disk)
