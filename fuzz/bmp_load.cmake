quillon_add_fuzzer(fuzz_bmp_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_load.cpp LIBS quillon_bitmap)
