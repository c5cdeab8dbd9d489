# The committed content under data/ is exactly what the generators in tools/ make.
add_test(NAME content_regenerates
  COMMAND ${CMAKE_COMMAND}
    -DGENMESHES=$<TARGET_FILE:genmeshes>
    -DGENIMAGES=$<TARGET_FILE:genimages>
    -DGENFONT=$<TARGET_FILE:genfont>
    -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_BINARY_DIR}/content-regenerated
    -P ${CMAKE_CURRENT_SOURCE_DIR}/content/regenerate.cmake)
set_tests_properties(content_regenerates PROPERTIES TIMEOUT 300)
