# The main window as built at start-up: layout, fonts, colours and event bindings on the offscreen
# platform, and the real program under Xvfb checked at known pixels of a screenshot.
add_executable(window_layout_tests ${CMAKE_CURRENT_LIST_DIR}/window_layout_test.cpp)
target_link_libraries(window_layout_tests PRIVATE mv62_app GTest::gtest)
add_test(NAME window_layout_tests COMMAND window_layout_tests)
set_tests_properties(window_layout_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")

add_executable(screenshot_check ${CMAKE_CURRENT_LIST_DIR}/screenshot_check.cpp)
target_link_libraries(screenshot_check PRIVATE mv62_display Qt6::Gui)
add_test(NAME window_screenshot
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/screenshot_test.sh $<TARGET_FILE:mv62-station>
                 $<TARGET_FILE:screenshot_check> ${CMAKE_BINARY_DIR}/screenshots/station.png)
set_tests_properties(window_screenshot PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
