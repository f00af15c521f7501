quillon_add_fuzzer(fuzz_recovery_scan SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_scan_fuzz.cpp LIBS quillon_disk)
