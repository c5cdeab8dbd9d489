# The launcher's tests run the launcher this build made.
target_compile_definitions(test_launcher PRIVATE SHOW_LAUNCHER="$<TARGET_FILE:launcher>" SHOW_NAME="${SHOW_NAME}")
add_dependencies(test_launcher launcher)
