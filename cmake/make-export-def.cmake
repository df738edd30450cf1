# Writes the module definition files of one DLL from its export list and its object files.
#
#   cmake -DLIST=<name.exports> -DNM=<nm> -DOBJECT_LIST=<file> -DLIBRARY=<name.dll>
#         -DEXPORT_DEF=<out> -DIMPORT_DEF=<out> -P make-export-def.cmake
#
# LIST names each export undecorated (cmake/export-list.cmake). Every one of them must be
# defined in the objects and be __stdcall, its plain name bound to the decorated symbol
# ("_Name@bytes"); otherwise the build stops, naming each function that is missing or not
# __stdcall. A DLL without one of its ordinals would fail the application only when it binds
# that ordinal, and a caller that binds a function by ordinal would clean up its stack the
# wrong way if the function were not __stdcall.
#
# EXPORT_DEF is the table the linker gets ("Name = Name@bytes @ordinal [NONAME]").
# IMPORT_DEF is the table dlltool turns into the import library: every entry NONAME, so
# programs linked against it import by ordinal, as the application does.
foreach(var LIST NM OBJECT_LIST LIBRARY EXPORT_DEF IMPORT_DEF)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-export-def.cmake: ${var} not given")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/export-list.cmake)
tydb_read_export_list("${LIST}" entries)

file(STRINGS "${OBJECT_LIST}" objects)
set(defined "")
foreach(object IN LISTS objects)
  if(object STREQUAL "")
    continue()
  endif()
  execute_process(COMMAND "${NM}" -g --defined-only "${object}"
    OUTPUT_VARIABLE symbols RESULT_VARIABLE rc ERROR_VARIABLE errors)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}: ${errors}")
  endif()
  string(APPEND defined "${symbols}")
endforeach()

set(exportText "; Generated from ${LIST}.\nLIBRARY ${LIBRARY}\nEXPORTS\n")
set(importText "LIBRARY ${LIBRARY}\nEXPORTS\n")
set(missing "")
set(undecorated "")
foreach(ordinal name named IN ZIP_LISTS entries_ORDINALS entries_NAMES entries_NAMED)
  if(defined MATCHES " T _${name}@([0-9]+)\n")
    set(decorated "${name}@${CMAKE_MATCH_1}")
    set(noname " NONAME")
    if(named)
      set(noname "")
    endif()
    string(APPEND exportText "    ${name} = ${decorated} @${ordinal}${noname}\n")
    string(APPEND importText "    ${decorated} @${ordinal} NONAME\n")
  elseif(defined MATCHES " T _${name}\n")
    list(APPEND undecorated "${name}")
  else()
    list(APPEND missing "${name}")
  endif()
endforeach()

if(missing OR undecorated)
  set(problems "")
  if(missing)
    list(JOIN missing ", " names)
    string(APPEND problems "\n  not defined in the objects: ${names}")
  endif()
  if(undecorated)
    list(JOIN undecorated ", " names)
    string(APPEND problems "\n  not __stdcall (declare with the header's calling-convention macro): ${names}")
  endif()
  message(FATAL_ERROR "${LIBRARY} cannot export all of ${LIST}:${problems}")
endif()
file(WRITE "${EXPORT_DEF}" "${exportText}")
file(WRITE "${IMPORT_DEF}" "${importText}")
list(LENGTH entries_NAMES count)
message(STATUS "${LIBRARY}: all ${count} entries of its export list")
