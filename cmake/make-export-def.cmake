# Writes the module definition files of one DLL from its export table and its object files.
#
#   cmake -DTABLE=<table.def> -DNM=<nm> -DOBJECT_LIST=<file> -DLIBRARY=<name.dll>
#         -DEXPORT_DEF=<out> -DIMPORT_DEF=<out> -P make-export-def.cmake
#
# TABLE lists each export as "Name @ordinal [NONAME]" without decoration. Only the entries whose
# function is defined in the objects are exported, so the table can name the whole interface
# while parts of the library are still missing. Each function must be __stdcall: the table's
# plain name is bound to the decorated symbol ("_Name@bytes"), and a function without that
# decoration stops the build, because a caller that binds it by ordinal would clean up its stack
# the wrong way.
#
# EXPORT_DEF is the table the linker gets ("Name = Name@bytes @ordinal [NONAME]").
# IMPORT_DEF is the table dlltool turns into the import library: every entry NONAME, so
# programs linked against it import by ordinal, as the application does.
foreach(var TABLE NM OBJECT_LIST LIBRARY EXPORT_DEF IMPORT_DEF)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-export-def.cmake: ${var} not given")
  endif()
endforeach()

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

file(STRINGS "${TABLE}" lines)
set(exportText "; Generated from ${TABLE}: the exports this build defines.\nLIBRARY ${LIBRARY}\nEXPORTS\n")
set(importText "LIBRARY ${LIBRARY}\nEXPORTS\n")
set(exported 0)
set(missing "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)([ \t]+NONAME)?[ \t]*$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(ordinal "${CMAKE_MATCH_2}")
  set(noname "${CMAKE_MATCH_3}")
  if(defined MATCHES " T _${name}@([0-9]+)\n")
    set(decorated "${name}@${CMAKE_MATCH_1}")
    string(APPEND exportText "    ${name} = ${decorated} @${ordinal}${noname}\n")
    string(APPEND importText "    ${decorated} @${ordinal} NONAME\n")
    math(EXPR exported "${exported} + 1")
  elseif(defined MATCHES " T _${name}\n")
    message(FATAL_ERROR "${name} (ordinal ${ordinal}) is not __stdcall: declare it with the header's calling-convention macro")
  else()
    list(APPEND missing "${name}")
  endif()
endforeach()

if(exported EQUAL 0)
  message(FATAL_ERROR "none of the exports of ${TABLE} is defined in the objects")
endif()
file(WRITE "${EXPORT_DEF}" "${exportText}")
file(WRITE "${IMPORT_DEF}" "${importText}")
list(LENGTH missing missingCount)
message(STATUS "${LIBRARY}: ${exported} exports, ${missingCount} of the table not built yet")
