# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (x86_64-w64-mingw32),
# for the libraries of build.sh and for the game itself. PELLUCANE_WINDOWS_PREFIX,
# given on the command line, is where the libraries are installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELLUCANE_MINGW x86_64-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model
# of Debian's gcc 12 lacks.
set(CMAKE_C_COMPILER ${PELLUCANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLUCANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLUCANE_MINGW}-windres)

# Libraries and headers come from the cross prefix and mingw's own sysroot,
# never from the build machine; programs (code generators) from the machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PELLUCANE_MINGW} ${PELLUCANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# gcc's, libstdc++'s and winpthread's run-time libraries linked in: every DLL
# and program imports only Windows's own DLLs and the DLLs built here. (The
# DLLs are all C; a program's -static still links the DLLs built here through
# their import libraries.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")
