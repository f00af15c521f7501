quillon_add_fuzzer(fuzz_case_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/case_file_fuzz.cpp LIBS quillon_casefile)
