# `format` rewrites every C/C++ source of the repository with .clang-format;
# `format-check` fails when any file would change.
find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14)
if(CLANG_FORMAT_EXE)
  set(_tv_format_script ${PROJECT_SOURCE_DIR}/scripts/format)
  add_custom_target(format
    COMMAND ${_tv_format_script} --fix
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Formatting sources")
  add_custom_target(format-check
    COMMAND ${_tv_format_script} --check
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Checking source formatting")
endif()
