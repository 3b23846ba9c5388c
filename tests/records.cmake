# Records room: journals and run records from recorded streams on a test clock, and a real
# window driven against the simulator's device model whose records must match its indicators.
add_executable(records_tests ${CMAKE_CURRENT_LIST_DIR}/records_test.cpp)
target_link_libraries(records_tests PRIVATE mv62_records mv62_results GTest::gtest_main)
set_target_properties(records_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(records_tests)

add_executable(records_window_tests
  ${CMAKE_CURRENT_LIST_DIR}/window_records_test.cpp)
target_include_directories(records_window_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(records_window_tests PRIVATE mv62_station_harness mv62_sim_core)
mv62_test_main(records_window_tests 3)
gtest_discover_tests(records_window_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}"
                     DISCOVERY_TIMEOUT 60)

# The real station headless against the simulator: exit codes, records and journals.
foreach(scenario pass fail-eeprom silent-14 killed unwritable usage)
  add_test(NAME records_e2e_${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/records_e2e_test.sh $<TARGET_FILE:mv62-station>
                   $<TARGET_FILE:mv62-sim> ${scenario})
  set_tests_properties(records_e2e_${scenario} PROPERTIES TIMEOUT 120)
endforeach()

# mv62-records on runs the real station recorded against the simulator, and a recorded run
# replayed by the simulator into a second station; the reports rendered by Chromium.
add_test(NAME records_tool_e2e
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/records_tool_test.sh $<TARGET_FILE:mv62-station>
                 $<TARGET_FILE:mv62-sim> $<TARGET_FILE:mv62-records>)
set_tests_properties(records_tool_e2e PROPERTIES TIMEOUT 300)

# Records under hostile conditions, on the real programs: full disks (a tmpfs mounted as root,
# skipped otherwise), hostile device text and files, a large journal, two recovers at once, a
# folder that cannot be read.
foreach(scenario full-disk hostile-text hostile-files large-journal recover-lock unreadable)
  add_test(NAME records_faults_${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/records_faults_test.sh
                   $<TARGET_FILE:mv62-station> $<TARGET_FILE:mv62-sim>
                   $<TARGET_FILE:mv62-records> ${scenario})
  set_tests_properties(records_faults_${scenario} PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
  if(MV62_SANITIZE)
    # The sanitizers' quarantine and shadow memory make a peak resident size meaningless.
    set_tests_properties(records_faults_${scenario} PROPERTIES ENVIRONMENT MV62_SANITIZED=1)
  endif()
endforeach()

# The records of a line in one place: a PostgreSQL cluster of the test's own filled by two
# benches' syncs through a server outage and a killed sync; the folders' own indexes while a
# station records and after an update is killed.
foreach(scenario postgres index)
  add_test(NAME line_database_${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/line_database_test.sh
                   $<TARGET_FILE:mv62-station> $<TARGET_FILE:mv62-sim>
                   $<TARGET_FILE:mv62-records> ${scenario})
  set_tests_properties(line_database_${scenario} PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endforeach()
