# Runs every content generator into a fresh folder and compares each file byte for byte with the
# committed one. Invoked by the content_regenerates test (tests/content.cmake) in script mode.
#   -DGENMESHES=... -DGENIMAGES=... -DGENFONT=... -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder>
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/meshes" "${WORK_DIR}/images")

function(run_generator tool folder)
  execute_process(COMMAND "${tool}" "${folder}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${tool} failed (${status}): ${errors}")
  endif()
endfunction()

run_generator("${GENMESHES}" "${WORK_DIR}/meshes")
run_generator("${GENIMAGES}" "${WORK_DIR}/images")
run_generator("${GENFONT}" "${WORK_DIR}/images")

set(mismatches "")
foreach(file meshes/TREE.ASC meshes/CREDITS1.ASC meshes/CREDITS1.VUE meshes/LUMIR3D2.ASC meshes/LUMIR3D2.VUE
        images/pine-silhuette.png images/pine-silhuette-2.png images/pine-silhuette-3.png images/bg-blue.png
        images/credits.png images/f1.fnt)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/${file}" "${SOURCE_DIR}/data/${file}"
                  RESULT_VARIABLE different)
  if(NOT different EQUAL 0)
    list(APPEND mismatches "data/${file}")
  endif()
endforeach()
if(mismatches)
  string(REPLACE ";" ", " listed "${mismatches}")
  message(FATAL_ERROR "regenerated content differs from the committed files: ${listed}")
endif()
message(STATUS "all 11 content files regenerate identically")
