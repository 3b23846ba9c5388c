# The window as painted, event by event, against a window that repaints everything.
add_executable(window_pixels_tests
  ${CMAKE_CURRENT_LIST_DIR}/window_pixels_test.cpp)
target_include_directories(window_pixels_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(window_pixels_tests PRIVATE mv62_station_harness)
mv62_test_main(window_pixels_tests 3)
add_test(NAME window_pixels_tests COMMAND window_pixels_tests)
set_tests_properties(window_pixels_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")
