# Recorded runs against their references in tests/golden: the bytes sent, the journal, the
# record, the window's controls and pixels of each scenario must stay as they are.
add_executable(golden_runs_tests ${CMAKE_CURRENT_LIST_DIR}/golden_runs_test.cpp)
target_include_directories(golden_runs_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(golden_runs_tests PRIVATE mv62_station_harness mv62_sim_core)
target_compile_definitions(golden_runs_tests PRIVATE
                           MV62_GOLDEN_DIR="${CMAKE_CURRENT_LIST_DIR}/golden")
mv62_test_main(golden_runs_tests 3)
gtest_discover_tests(golden_runs_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}"
                     DISCOVERY_TIMEOUT 60)
