# The end-to-end and audio tests once more on sdl12-compat, which Debian 12 installs beside the
# classic SDL 1.2 in a folder of its own that the library path selects. Where sdl12-compat is the
# only SDL 1.2 (Debian 13), the suites above already ran on it: one skipped test says so.
set(SDL12_COMPAT_DIR ${SDL12_LIBDIR}/sdl12-compat)
if(SYSTEM_SDL12_IS_COMPAT)
  add_test(NAME sdl12compat.NotRepeated
    COMMAND sh -c "echo 'sdl12compat: the default SDL 1.2 here is sdl12-compat, so test_show_e2e and test_music already ran on it; no classic library to compare with'; exit 77")
  set_tests_properties(sdl12compat.NotRepeated PROPERTIES SKIP_RETURN_CODE 77)
  return()
endif()
foreach(test_name test_show_e2e test_music)
  gtest_discover_tests(${test_name}
    TEST_PREFIX sdl12compat.
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600 ENVIRONMENT LD_LIBRARY_PATH=${SDL12_COMPAT_DIR})
endforeach()
