# The renderer tests run the tool itself.
foreach(render_test test_render_parts test_video)
  if(TARGET ${render_test})
    add_dependencies(${render_test} render)
  endif()
endforeach()
