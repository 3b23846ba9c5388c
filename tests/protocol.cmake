# Frame assembler, host commands and reply arithmetic.
include(GoogleTest)

add_executable(protocol_tests
  ${CMAKE_CURRENT_LIST_DIR}/protocol_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/protocol_frames_test.cpp)
target_link_libraries(protocol_tests PRIVATE mv62_protocol GTest::gtest_main)
gtest_discover_tests(protocol_tests)

# libFuzzer target for the assembler. It needs clang, so it is compiled outside the g++ build.
find_program(MV62_CLANGXX NAMES clang++-14 clang++)
if(MV62_CLANGXX)
  set(MV62_PROTOCOL_DIR ${PROJECT_SOURCE_DIR}/protocol)
  set(MV62_FUZZ_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_frames.cpp
    ${MV62_PROTOCOL_DIR}/Vocabulary.cpp
    ${MV62_PROTOCOL_DIR}/Frames.cpp
    ${MV62_PROTOCOL_DIR}/ReplyMath.cpp
    ${MV62_PROTOCOL_DIR}/Replies.cpp
    ${MV62_PROTOCOL_DIR}/TestPlan.cpp)
  set(MV62_FUZZ_BIN ${CMAKE_BINARY_DIR}/bin/fuzz_frames)
  set(MV62_FUZZ_WERROR)
  if(MV62_WERROR)
    set(MV62_FUZZ_WERROR -Werror)
  endif()
  add_custom_command(
    OUTPUT ${MV62_FUZZ_BIN}
    COMMAND ${MV62_CLANGXX} -std=c++20 -g -O1 -Wall -Wextra ${MV62_FUZZ_WERROR}
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
            -I${MV62_PROTOCOL_DIR} ${MV62_FUZZ_SOURCES} -o ${MV62_FUZZ_BIN}
    DEPENDS ${MV62_FUZZ_SOURCES} ${MV62_PROTOCOL_DIR}/Vocabulary.h ${MV62_PROTOCOL_DIR}/Frames.h
            ${MV62_PROTOCOL_DIR}/ReplyMath.h ${MV62_PROTOCOL_DIR}/Replies.h
            ${MV62_PROTOCOL_DIR}/TestPlan.h ${MV62_PROTOCOL_DIR}/HostCommands.h
    COMMENT "Building fuzz_frames with ${MV62_CLANGXX}"
    VERBATIM)
  add_custom_target(fuzz_frames ALL DEPENDS ${MV62_FUZZ_BIN})

  # Bounded run on a fresh, empty corpus.
  set(MV62_FUZZ_CORPUS ${CMAKE_BINARY_DIR}/fuzz_frames_corpus)
  add_test(NAME fuzz_frames_bounded
    COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && exec \"$0\" -runs=200000 -seed=1 \"-artifact_prefix=$2/\" \"$1\""
            ${MV62_FUZZ_BIN} ${MV62_FUZZ_CORPUS} ${CMAKE_BINARY_DIR}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
else()
  message(STATUS "clang++ not found: fuzz_frames is not built")
endif()
