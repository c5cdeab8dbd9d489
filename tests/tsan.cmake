# The audio layer's tests once more under ThreadSanitizer: the frame loop reads what the audio
# thread writes, and that must be race-free.
add_executable(test_music_tsan
  ${CMAKE_CURRENT_SOURCE_DIR}/test_music.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/sdllibrary.cpp
  ${CMAKE_SOURCE_DIR}/src/media/music.cpp
  ${CMAKE_SOURCE_DIR}/src/media/audioclock.cpp
  ${CMAKE_SOURCE_DIR}/src/media/soundserver.cpp
  ${CMAKE_SOURCE_DIR}/src/media/fmodresults.cpp
  ${CMAKE_SOURCE_DIR}/src/assets/contentfiles.cpp
  ${CMAKE_SOURCE_DIR}/tools/xmwriter/xmwriter.cpp)
target_include_directories(test_music_tsan PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tools
  ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_music_tsan PRIVATE SHOW_SYSTEM_SDL12="${SYSTEM_SDL12}")
target_compile_options(test_music_tsan PRIVATE ${SHOW_WARNINGS} -fsanitize=thread -O1 -g)
target_link_options(test_music_tsan PRIVATE -fsanitize=thread)
target_link_libraries(test_music_tsan PRIVATE PkgConfig::SDL PkgConfig::OPENMPT GTest::gtest_main Threads::Threads ${CMAKE_DL_LIBS})
add_test(NAME MusicUnderThreadSanitizer COMMAND test_music_tsan WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(MusicUnderThreadSanitizer PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66")
