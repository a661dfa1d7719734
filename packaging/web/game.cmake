# Included by CMakeLists.txt for emscripten (packaging/web/build.sh): the game
# as pellucane.js and pellucane.wasm, its data as pellucane.data, a package
# the page loads before the game starts, at the root of the game's file
# system, where the game reads images/, fonts/ and sound/.
set(PELLUCANE_DATA_FOLDERS images fonts sound)
set(data_options)
set(data_files)
foreach(folder IN LISTS PELLUCANE_DATA_FOLDERS)
  list(APPEND data_options "SHELL:--preload-file ${PROJECT_SOURCE_DIR}/data/${folder}@/${folder}")
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/${folder}/*)
  list(APPEND data_files ${files})
endforeach()
target_link_options(pellucane PRIVATE ${data_options}
  # the pictures' memory grows as the street loads them
  -sALLOW_MEMORY_GROWTH=1
  # main's catch: an error at start-up (a bad font file) is said before the
  # game stops. Only main catches, so the rest of the game runs without the
  # cost of catching.
  -sDISABLE_EXCEPTION_CATCHING=0
  # GLUT's mouse motion with the pointer's new position
  "SHELL:--post-js ${PROJECT_SOURCE_DIR}/packaging/web/glut-motion.js"
  # the canvas at the screen's density
  "SHELL:--post-js ${PROJECT_SOURCE_DIR}/packaging/web/sharp-canvas.js")
list(APPEND data_files ${PROJECT_SOURCE_DIR}/packaging/web/glut-motion.js
  ${PROJECT_SOURCE_DIR}/packaging/web/sharp-canvas.js)
set_source_files_properties(app/main.cpp PROPERTIES COMPILE_OPTIONS -sDISABLE_EXCEPTION_CATCHING=0)
set_target_properties(pellucane PROPERTIES LINK_DEPENDS "${data_files}")
