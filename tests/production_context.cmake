# Which unit, which station, who: the station's configuration file, the unit serial and the
# operator, read by the station and given to its records.
add_executable(station_config_tests ${CMAKE_CURRENT_LIST_DIR}/station_config_test.cpp)
target_link_libraries(station_config_tests PRIVATE mv62_app)
set_target_properties(station_config_tests PROPERTIES AUTOMOC OFF)
mv62_test_main(station_config_tests 1)
gtest_discover_tests(station_config_tests)

# The real station against the simulator, headless and as a window on Xvfb.
foreach(scenario config-faults headless-serial serial-scanned serial-withdrawn serial-refused)
  add_test(NAME production_context_${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/production_context_test.sh
                   $<TARGET_FILE:mv62-station> $<TARGET_FILE:mv62-sim>
                   $<TARGET_FILE:window_design> $<TARGET_FILE:mv62-records> ${scenario})
  set_tests_properties(production_context_${scenario} PROPERTIES TIMEOUT 120
                       SKIP_RETURN_CODE 77 RESOURCE_LOCK station_e2e)
endforeach()
