# The Windows program's resources, included by the top CMakeLists.txt: the
# icon the Linux package installs, at the sizes Windows shows (16 and 32 in
# lists and title bars, 48 and 256 in Explorer's larger views), each kept as
# the PNG it is (Windows reads PNG icons since Vista), and the version and
# product name for the file's properties.
enable_language(RC)
find_program(ICOTOOL icotool REQUIRED)
set(PELLUCANE_ICON_PNGS)
set(PELLUCANE_ICON_ARGUMENTS)
foreach(size 16 32 48 256)
  set(png ${PROJECT_SOURCE_DIR}/data/icons/pellucane-${size}.png)
  list(APPEND PELLUCANE_ICON_PNGS ${png})
  list(APPEND PELLUCANE_ICON_ARGUMENTS --raw=${png})
endforeach()
add_custom_command(OUTPUT pellucane.ico
  COMMAND ${ICOTOOL} --create --output=pellucane.ico ${PELLUCANE_ICON_ARGUMENTS}
  DEPENDS ${PELLUCANE_ICON_PNGS})
configure_file(${CMAKE_CURRENT_LIST_DIR}/pellucane.rc.in pellucane.rc @ONLY)
# windres finds the icon beside the .rc file, in the build folder
set_source_files_properties(${PROJECT_BINARY_DIR}/pellucane.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_BINARY_DIR}/pellucane.ico)
target_sources(pellucane PRIVATE ${PROJECT_BINARY_DIR}/pellucane.rc)
