# The 32-bit Windows build: export tables by ordinal, import libraries that bind by ordinal,
# the header-only and source-only packages the cross compiler takes from the host, and Wine as
# the emulator that runs every test program. Included by the top-level CMakeLists.txt when
# building for Windows only.

# ---- Running programs under Wine ---------------------------------------------------------------

find_program(TYDB_WINE NAMES wine)
find_program(TYDB_WINESERVER NAMES wineserver)
if(TYDB_WINE AND TYDB_WINESERVER)
  # A Wine prefix of the build's own, so tests never see another prefix's registry.
  set(TYDB_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  # Test discovery and every test case run the .exe through this (each target picks the
  # variable up when it is created).
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

  # Wine sets up a new prefix on its first start, which takes seconds; doing it once while
  # building keeps the first tests from racing each other through it.
  add_custom_command(OUTPUT ${TYDB_WINEPREFIX}/system.reg
    COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh wineboot -i
    COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --wait-server
    COMMENT "Setting up the Wine prefix for the tests"
    VERBATIM)
  add_custom_target(wine_prefix ALL DEPENDS ${TYDB_WINEPREFIX}/system.reg)
else()
  message(STATUS "wine not found: the Windows programs build, but CTest cannot run them here")
endif()

# ---- Packages the cross build takes from the host ----------------------------------------------

# CLI11 is header-only; its Debian package describes the host's /usr/include, which the cross
# compiler must not see, so the headers are copied and described by a config of our own.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/win32/cli11 CACHE PATH "CLI11 for the Windows build" FORCE)

# ---- Export tables and import libraries --------------------------------------------------------

find_program(TYDB_DLLTOOL NAMES ${CMAKE_CXX_COMPILER_TARGET}-dlltool i686-w64-mingw32-dlltool dlltool REQUIRED)

# Replaces the import library the linker wrote for `target` by one made with dlltool from
# `importDef` (decorated __stdcall names, every entry NONAME): programs linked against it find
# each function by its ordinal, exactly as the application binds the real DLLs, and a caller's
# decorated reference ("_TyWRegSelect@8") resolves without the linker guessing.
function(tydb_win32_import_by_ordinal target importDef)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TYDB_DLLTOOL} --kill-at --input-def ${importDef} --dllname $<TARGET_FILE_NAME:${target}>
      --output-lib $<TARGET_LINKER_FILE:${target}>
    COMMENT "Import library of $<TARGET_FILE_NAME:${target}> by ordinal"
    VERBATIM)
endfunction()

# The Windows part of tydb_export_list (cmake/export-tables.cmake): links `target` with the
# exports of `list` at their ordinals, each bound to the __stdcall function the objects of the
# object libraries given after it define, and gives it an import library by ordinal.
function(tydb_win32_export_table target list)
  set(dir ${TYDB_EXPORTS_DIR})
  set(objectList ${dir}/${target}-objects.txt)
  set(exportDef ${dir}/${target}.def)
  set(importDef ${dir}/${target}-import.def)
  set(objects "")
  foreach(objectLibrary IN LISTS ARGN)
    list(APPEND objects $<TARGET_OBJECTS:${objectLibrary}>)
  endforeach()
  file(GENERATE OUTPUT ${objectList} CONTENT "$<JOIN:${objects},\n>\n")
  add_custom_command(OUTPUT ${exportDef} ${importDef}
    COMMAND ${CMAKE_COMMAND} -DLIST=${list} -DNM=${CMAKE_NM} -DOBJECT_LIST=${objectList}
      -DLIBRARY=$<TARGET_FILE_NAME:${target}> -DEXPORT_DEF=${exportDef} -DIMPORT_DEF=${importDef}
      -P ${PROJECT_SOURCE_DIR}/cmake/make-export-def.cmake
    DEPENDS ${list} ${objectList} ${objects} ${PROJECT_SOURCE_DIR}/cmake/make-export-def.cmake
      ${PROJECT_SOURCE_DIR}/cmake/export-list.cmake
    COMMENT "Export table of $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
  target_sources(${target} PRIVATE ${exportDef})
  tydb_win32_import_by_ordinal(${target} ${importDef})
endfunction()
