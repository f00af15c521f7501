quillon_add_fuzzer(fuzz_activity_document SOURCES ${CMAKE_CURRENT_LIST_DIR}/activity_document_fuzz.cpp
  LIBS quillon_evidence)
