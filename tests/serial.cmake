# Serial room: TComm on an in-memory port, and on a real pseudo-terminal.
add_executable(serial_tests
  ${CMAKE_CURRENT_LIST_DIR}/serial_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FakeSerialDevice.h)
target_link_libraries(serial_tests PRIVATE mv62_serial)
mv62_test_main(serial_tests 1)
add_test(NAME serial_tests COMMAND serial_tests)

add_executable(serial_pty_tests ${CMAKE_CURRENT_LIST_DIR}/serial_pty_tests.cpp)
target_link_libraries(serial_pty_tests PRIVATE mv62_serial util)
mv62_test_main(serial_pty_tests 1)
add_test(NAME serial_pty_tests COMMAND serial_pty_tests)
