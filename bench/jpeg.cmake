# Our JPEG codec's speed beside libjpeg-turbo's tjbench.
add_executable(jpeg_bench ${CMAKE_CURRENT_LIST_DIR}/jpeg_bench.cpp)
target_include_directories(jpeg_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/picture)
target_link_libraries(jpeg_bench PRIVATE quillon_jpeg)
