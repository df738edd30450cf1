# GoogleTest for the Windows cross build, compiled from Debian's sources (package googletest,
# /usr/src/googletest): the host's libgtest is a Linux library the cross linker cannot use.
# Provides GTest::gtest and GTest::gtest_main, as find_package(GTest) does on POSIX.
set(TYDB_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
if(NOT EXISTS ${TYDB_GOOGLETEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TYDB_GOOGLETEST_SOURCE} (apt-get install googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TYDB_GOOGLETEST_SOURCE}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Our warning options are not GoogleTest's concern.
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()
