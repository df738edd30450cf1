# Gives each shared library the exports of its export list (cmake/export-list.cmake), and writes
# what the tests and the Windows export check compare the built libraries with. Included by the
# top-level CMakeLists.txt.
include(${CMAKE_CURRENT_LIST_DIR}/export-list.cmake)

# Every file derived from an export list lands here.
set(TYDB_EXPORTS_DIR ${CMAKE_BINARY_DIR}/exports)

# tydb_export_list(<target> <list> <object library>...)
#
# Exports from the shared library `target` exactly the functions of `list`, which the objects of
# the object libraries define; the link fails when one of them is missing. On Windows the build
# finds each function's __stdcall decoration in those objects (cmake/make-export-def.cmake).
# Writes into TYDB_EXPORTS_DIR:
#   <target>_exports.h    one row per export, TYDB_EXPORT(ordinal, name, named), for C and C++
#                         tests to build their tables from (define TYDB_EXPORT, then include)
#   <target>-exports.txt  one line per export, "ORDINAL NAME named|noname", for scripts
#   <target>.map          on POSIX, the version script the library is linked with
function(tydb_export_list target list)
  tydb_read_export_list(${list} entries)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  # For the tests that compare the built library with its list.
  set_property(TARGET ${target} PROPERTY TYDB_EXPORT_LIST ${list})
  file(RELATIVE_PATH source ${PROJECT_SOURCE_DIR} ${list})

  string(CONCAT header "/* Generated from ${source}: the exports of ${target}, one\n"
    " * TYDB_EXPORT(ordinal, name, named) each, named 1 where the Windows export table carries the\n"
    " * name. Define TYDB_EXPORT, then include this file. */\n")
  set(text "")
  set(map "/* Generated from ${source}: exported by name; everything else stays inside. */\n{\n  global:\n")
  foreach(ordinal name named IN ZIP_LISTS entries_ORDINALS entries_NAMES entries_NAMED)
    string(APPEND header "TYDB_EXPORT(${ordinal}, ${name}, ${named})\n")
    if(named)
      string(APPEND text "${ordinal} ${name} named\n")
    else()
      string(APPEND text "${ordinal} ${name} noname\n")
    endif()
    string(APPEND map "    ${name};\n")
  endforeach()
  string(APPEND map "  local:\n    *;\n};\n")
  file(GENERATE OUTPUT ${TYDB_EXPORTS_DIR}/${target}_exports.h CONTENT "${header}")
  file(GENERATE OUTPUT ${TYDB_EXPORTS_DIR}/${target}-exports.txt CONTENT "${text}")

  if(WIN32)
    tydb_win32_export_table(${target} ${list} ${ARGN})
  else()
    set(mapFile ${TYDB_EXPORTS_DIR}/${target}.map)
    file(GENERATE OUTPUT ${mapFile} CONTENT "${map}")
    # --no-undefined-version: a listed function the objects do not define fails the link, as it
    # fails the Windows build.
    target_link_options(${target} PRIVATE -Wl,--version-script=${mapFile} -Wl,--no-undefined-version)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${mapFile})
  endif()
endfunction()
