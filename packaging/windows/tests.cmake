# The test programs of the Windows build, included by the top CMakeLists.txt
# after tests/: they run under wine (tests/windows/wine-check.sh), built with
# the little of POSIX they take (TestsOnWindows.h, read first by each source).
target_sources(pellucane_test_support PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TestsOnWindows.cpp)
target_compile_options(pellucane_test_support PUBLIC
  -include ${CMAKE_CURRENT_LIST_DIR}/TestsOnWindows.h)
