quillon_add_fuzzer(fuzz_ui_files SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_files_fuzz.cpp LIBS quillon_ui_shape quillon_ui_text)
