# The measurement itself, on the stage of the module, through a PipeWire server of its own: the
# classic SDL 1.2 through the pulse layer and sdl12-compat through SDL2's PipeWire backend. It
# passes when both were measured (the classic one says "not here" where sdl12-compat is the only
# SDL 1.2); the table it prints is the one in the README.
add_test(NAME synccheck.MeasuresThroughPipeWire
  COMMAND synccheck --show $<TARGET_FILE:demo> --content ${CMAKE_SOURCE_DIR}
    --only "pipewire classic pulse" --only "pipewire sdl12-compat pipewire")
set_tests_properties(synccheck.MeasuresThroughPipeWire PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE)
add_test(NAME synccheck.RejectsMissingShow COMMAND synccheck --show /nonexistent --content ${CMAKE_SOURCE_DIR})
set_tests_properties(synccheck.RejectsMissingShow PROPERTIES PASS_REGULAR_EXPRESSION "synccheck: no show at")
