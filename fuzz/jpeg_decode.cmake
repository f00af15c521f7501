quillon_add_fuzzer(fuzz_jpeg_decode SOURCES ${CMAKE_CURRENT_LIST_DIR}/jpeg_decode.cpp LIBS quillon_jpeg)
