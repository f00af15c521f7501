add_executable(skin_shape_bench ${CMAKE_CURRENT_LIST_DIR}/skin_shape_bench.cpp)
target_link_libraries(skin_shape_bench PRIVATE quillon_ui_shape)
target_include_directories(skin_shape_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(skin_shape_bench PRIVATE QUILLON_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
