# The main window driven through its handlers: a fake line on a virtual clock, and a real
# pseudo-terminal for the link itself.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(window_tests
  ${CMAKE_CURRENT_LIST_DIR}/window_link_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_replies_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_workflows_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_pty_test.cpp)
target_include_directories(window_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(window_tests PRIVATE mv62_station_harness Qt6::Test util)
mv62_test_main(window_tests 3)
gtest_discover_tests(window_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}"
                     DISCOVERY_TIMEOUT 60)
