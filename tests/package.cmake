# The Debian package built, unpacked and run outside the build tree. A sanitizer build is not a
# package anyone installs, so it has no package test.
if(NOT MV62_SANITIZE)
  add_test(NAME package_deb COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh
                                    ${CMAKE_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES TIMEOUT 300)
endif()
