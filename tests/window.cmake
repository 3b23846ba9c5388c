# The main window as built at start-up: layout, fonts, colours and event bindings on the offscreen
# platform, and the real program under Xvfb checked at known pixels of a screenshot.
add_executable(window_layout_tests ${CMAKE_CURRENT_LIST_DIR}/window_layout_test.cpp)
target_link_libraries(window_layout_tests PRIVATE mv62_app)
mv62_test_main(window_layout_tests 4)
add_test(NAME window_layout_tests COMMAND window_layout_tests)
set_tests_properties(window_layout_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")

add_executable(screenshot_check ${CMAKE_CURRENT_LIST_DIR}/screenshot_check.cpp)
target_link_libraries(screenshot_check PRIVATE mv62_app Qt6::Gui)
add_test(NAME window_screenshot
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/screenshot_test.sh $<TARGET_FILE:mv62-station>
                 $<TARGET_FILE:screenshot_check> ${CMAKE_BINARY_DIR}/screenshots/station.png)
set_tests_properties(window_screenshot PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)

# The real station on Xvfb wired to the simulator, driven by X input at the designed places.
add_executable(screen_pixels ${CMAKE_CURRENT_LIST_DIR}/screen_pixels.cpp)
target_link_libraries(screen_pixels PRIVATE Qt6::Gui)
add_executable(window_design ${CMAKE_CURRENT_LIST_DIR}/window_design.cpp)
target_link_libraries(window_design PRIVATE mv62_app)
set_target_properties(window_design PROPERTIES AUTOMOC OFF)
foreach(scenario pass fail-eeprom noise-split unplug)
  add_test(NAME e2e_${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_test.sh $<TARGET_FILE:mv62-station>
                   $<TARGET_FILE:mv62-sim> $<TARGET_FILE:screen_pixels>
                   $<TARGET_FILE:window_design> ${CMAKE_BINARY_DIR}/screenshots/e2e-${scenario}.png
                   ${scenario})
  set_tests_properties(e2e_${scenario} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
                       RESOURCE_LOCK station_e2e)
endforeach()
