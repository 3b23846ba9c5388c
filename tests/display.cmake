# The raster canvas and the signal display controls. Text is drawn by the real font rasteriser,
# so both programs run with a GUI application on the offscreen platform.
add_executable(canvas_tests ${CMAKE_CURRENT_LIST_DIR}/canvas_tests.cpp)
target_link_libraries(canvas_tests PRIVATE mv62_canvas Qt6::Gui)
mv62_test_main(canvas_tests 2)
add_test(NAME canvas_tests COMMAND canvas_tests)
set_tests_properties(canvas_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")

add_executable(display_tests ${CMAKE_CURRENT_LIST_DIR}/display_tests.cpp)
target_link_libraries(display_tests PRIVATE mv62_display Qt6::Widgets)
mv62_test_main(display_tests 3)
add_test(NAME display_tests COMMAND display_tests)
set_tests_properties(display_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")
