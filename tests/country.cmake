# Country room: the table (plain C++) and the selection dialog (Qt, headless).
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(country_table_tests ${CMAKE_CURRENT_LIST_DIR}/country_table_tests.cpp)
target_link_libraries(country_table_tests PRIVATE mv62_country_table GTest::gtest_main)
set_target_properties(country_table_tests PROPERTIES AUTOMOC OFF)
add_test(NAME country_table_tests COMMAND country_table_tests)

add_executable(country_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/country_dialog_tests.cpp)
target_link_libraries(country_dialog_tests PRIVATE mv62_country Qt6::Test)
mv62_test_main(country_dialog_tests 3)
add_test(NAME country_dialog_tests COMMAND country_dialog_tests)
set_tests_properties(country_dialog_tests PROPERTIES ENVIRONMENT "${MV62_OFFSCREEN_ENV}")
