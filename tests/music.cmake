# The soundtrack's scripted checks; run with -P it is the regeneration check itself.
if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND ${COMPOSER} ${OUT} RESULT_VARIABLE status)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXPECTED} RESULT_VARIABLE differs)
  file(REMOVE ${OUT})
  if(NOT status EQUAL 0 OR NOT differs EQUAL 0)
    message(FATAL_ERROR "composer exited ${status} or its output differs from ${EXPECTED}: regenerate and commit it")
  endif()
  return()
endif()

add_test(NAME music.RegeneratesByteIdentical
  COMMAND ${CMAKE_COMMAND} -DCOMPOSER=$<TARGET_FILE:composer> -DOUT=${CMAKE_BINARY_DIR}/vrimla2-regenerated.xm
    -DEXPECTED=${CMAKE_SOURCE_DIR}/data/music/vrimla2.xm -P ${CMAKE_CURRENT_LIST_FILE})
# The measuring tool's verdict on the committed module, and its answer to bad input.
add_test(NAME music.SoundcheckLimitsHold COMMAND soundcheck ${CMAKE_SOURCE_DIR}/data/music/vrimla2.xm)
add_test(NAME music.SoundcheckRejectsNonModule COMMAND soundcheck ${CMAKE_SOURCE_DIR}/tests/music.cmake)
set_tests_properties(music.SoundcheckRejectsNonModule PROPERTIES PASS_REGULAR_EXPRESSION "libopenmpt rejects")
add_test(NAME music.ComposerReportsUnwritableOutput COMMAND composer ${CMAKE_BINARY_DIR}/no-such-dir/x.xm)
set_tests_properties(music.ComposerReportsUnwritableOutput PROPERTIES PASS_REGULAR_EXPRESSION "composer: cannot write")
# What the committed module's pace means for the pictures: prints the table, fails when a point misses.
add_test(NAME music.PaceMatchesThePictures
  COMMAND pacecheck ${CMAKE_SOURCE_DIR}/data/music/vrimla2.xm ${CMAKE_SOURCE_DIR})
add_test(NAME music.PacecheckRejectsNonModule COMMAND pacecheck ${CMAKE_SOURCE_DIR}/tests/music.cmake)
set_tests_properties(music.PacecheckRejectsNonModule PROPERTIES PASS_REGULAR_EXPRESSION "libopenmpt rejects")
