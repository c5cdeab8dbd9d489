# The end-to-end and audio tests once more on sdl12-compat, which Debian 12 installs beside the
# classic SDL 1.2 in a folder of its own that the library path selects.
set(SDL12_COMPAT_DIR /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/sdl12-compat)
foreach(test_name test_show_e2e test_music)
  gtest_discover_tests(${test_name}
    TEST_PREFIX sdl12compat.
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600 ENVIRONMENT LD_LIBRARY_PATH=${SDL12_COMPAT_DIR})
endforeach()
