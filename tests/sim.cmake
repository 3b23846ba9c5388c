# Simulator room: the command decoder, device model and pacing on a virtual clock, and the real
# mv62-sim on a pseudo-terminal.
add_executable(sim_tests ${CMAKE_CURRENT_LIST_DIR}/sim_test.cpp)
target_link_libraries(sim_tests PRIVATE mv62_sim_core GTest::gtest_main)
target_compile_definitions(sim_tests PRIVATE MV62_SIM_PATH="$<TARGET_FILE:mv62-sim>")
add_dependencies(sim_tests mv62-sim)
set_target_properties(sim_tests PROPERTIES AUTOMOC OFF)
add_test(NAME sim_tests COMMAND sim_tests)
