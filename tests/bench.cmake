# The shipped drawing path against the literal immediate-mode path on the committed content: every
# part, two frames at each of six moments with the forests moving, colour, depth and GL state
# compared. Needs a display, like the GL tests.
add_test(NAME bench_pixel_identity COMMAND bench --check WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(bench_pixel_identity PROPERTIES TIMEOUT 900 ENVIRONMENT SDL_AUDIODRIVER=dummy)
