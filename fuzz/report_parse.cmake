quillon_add_fuzzer(fuzz_report_parse SOURCES ${CMAKE_CURRENT_LIST_DIR}/report_parse_fuzz.cpp LIBS quillon_evidence)
