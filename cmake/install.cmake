# cmake --install: what a program that uses tydb needs, in the usual places.
#
#   include/      tydb.h, btrcall.h, tydb_status.h, tydb_files.h, w3btrv7_admin.h, tywreg.h
#   lib/          libtydb and libTyWReg (Windows: their import libraries; the DLLs go to bin/)
#   lib/w3btrv7/  the record manager, in a folder of its own as the build keeps it: the library
#                 finds it through the settings store's PATH, never by lying beside it
#   bin/          the tydb tool
#   lib/pkgconfig/tydb.pc, lib/cmake/tydb/  for pkg-config and find_package(tydb)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TYDB_ENGINE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/w3btrv7)

# A program that links tydb compiles against the public headers, wherever they are.
target_include_directories(tydb INTERFACE $<BUILD_INTERFACE:${TYDB_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(TyWReg INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
if(NOT WIN32)
  # libtydb needs libTyWReg beside it; the tool needs both in the library folder.
  set_target_properties(tydb PROPERTIES INSTALL_RPATH "$ORIGIN")
  if(TARGET tydb_tool)
    set_target_properties(tydb_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endif()

install(TARGETS tydb TyWReg EXPORT tydbTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS w3btrv7
  LIBRARY DESTINATION ${TYDB_ENGINE_INSTALL_DIR}
  RUNTIME DESTINATION ${TYDB_ENGINE_INSTALL_DIR}
  ARCHIVE DESTINATION ${TYDB_ENGINE_INSTALL_DIR})
if(TARGET tydb_tool)
  install(TARGETS tydb_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${TYDB_INCLUDE_DIR}/tydb.h ${TYDB_INCLUDE_DIR}/btrcall.h ${TYDB_INCLUDE_DIR}/tydb_status.h
  ${TYDB_INCLUDE_DIR}/tydb_files.h
  ${PROJECT_SOURCE_DIR}/w3btrv7/include/w3btrv7_admin.h ${PROJECT_SOURCE_DIR}/tywreg/include/tywreg.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# find_package(tydb): the imported targets tydb::tydb and tydb::TyWReg.
set(TYDB_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tydb)
install(EXPORT tydbTargets NAMESPACE tydb:: DESTINATION ${TYDB_CMAKE_INSTALL_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/sdk/tydbConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/tydbConfig.cmake INSTALL_DESTINATION ${TYDB_CMAKE_INSTALL_DIR}
  PATH_VARS TYDB_ENGINE_INSTALL_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/tydbConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/tydbConfig.cmake ${CMAKE_BINARY_DIR}/package/tydbConfigVersion.cmake
  DESTINATION ${TYDB_CMAKE_INSTALL_DIR})

# pkg-config --cflags --libs tydb
configure_file(${PROJECT_SOURCE_DIR}/cmake/sdk/tydb.pc.in ${CMAKE_BINARY_DIR}/package/tydb.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/tydb.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
