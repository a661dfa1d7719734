# Included by CMakeLists.txt for emscripten (packaging/web/build.sh): GL, GLU
# and GLUT are emscripten's, OpenGL 1.1 through its legacy GL emulation on
# WebGL; the other libraries are static, in PELLUCANE_WEB_PREFIX, and linked
# by path (-lSDL2 would make emcc fetch an SDL2 of its own).
add_library(pellucane_web_gl INTERFACE)
target_include_directories(pellucane_web_gl INTERFACE ${PROJECT_SOURCE_DIR}/packaging/web/include)
target_link_options(pellucane_web_gl INTERFACE -sLEGACY_GL_EMULATION)
add_library(OpenGL::GL ALIAS pellucane_web_gl)
add_library(OpenGL::GLU ALIAS pellucane_web_gl)
set(PELLUCANE_GLUT pellucane_web_gl)
set(WEB_LIB ${PELLUCANE_WEB_PREFIX}/lib)
add_library(pellucane_web_sdl_mixer INTERFACE)
target_include_directories(pellucane_web_sdl_mixer SYSTEM INTERFACE ${PELLUCANE_WEB_PREFIX}/include/SDL2)
target_link_libraries(pellucane_web_sdl_mixer INTERFACE
  ${WEB_LIB}/libSDL2_mixer.a ${WEB_LIB}/libSDL2.a)
# The JS functions SDL2's audio calls by name, which emcc does not see it
# needs: the one that starts the browser's audio at the page's first click or
# key, and the one that calls back into the game. (In a file: a $ on CMake's
# link line does not reach emcc as it is.)
target_link_options(pellucane_web_sdl_mixer INTERFACE
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${PROJECT_SOURCE_DIR}/packaging/web/audio-functions.txt)
set(PELLUCANE_SDL_MIXER pellucane_web_sdl_mixer)
add_library(Freetype::Freetype INTERFACE IMPORTED)
target_include_directories(Freetype::Freetype SYSTEM INTERFACE ${PELLUCANE_WEB_PREFIX}/include/freetype2)
target_link_libraries(Freetype::Freetype INTERFACE ${WEB_LIB}/libfreetype.a ${WEB_LIB}/libz.a)
add_library(PNG::PNG INTERFACE IMPORTED)
target_include_directories(PNG::PNG SYSTEM INTERFACE ${PELLUCANE_WEB_PREFIX}/include)
target_link_libraries(PNG::PNG INTERFACE ${WEB_LIB}/libpng16.a ${WEB_LIB}/libz.a)
