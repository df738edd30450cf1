# Reads an export list: the one place that says what a DLL exports and at which ordinals. Every
# file derived from a list (the linker's .def, the import library's .def, the POSIX version
# script, the tests' expectations) goes through this reader, at configure time and from
# `cmake -P` scripts alike.
#
# The format, one export a line:
#
#   # A comment runs to the end of the line; blank lines are skipped.
#   1 DbCreateFile named
#   2 DbBuildUpperAcs
#
# ORDINAL (1 to 65535, no leading zero), NAME (a C identifier, undecorated) and, where the
# Windows export table is to carry the name as well, the word `named`. Without it the export
# is found by ordinal only.

# tydb_read_export_list(<file> <prefix>)
#
# Sets, in the caller's scope, three lists in the order of the file: <prefix>_ORDINALS,
# <prefix>_NAMES and <prefix>_NAMED (1 or 0 for each export). A malformed line, a name or an
# ordinal given twice, or a list without exports stops with FATAL_ERROR naming the file and line.
function(tydb_read_export_list file prefix)
  file(READ "${file}" text)
  set(ordinals "")
  set(names "")
  set(named "")
  set(lineNumbers "")
  set(lineNumber 0)
  # Line by line with string(FIND): a list from file(STRINGS) would take a ";" or "[" in a
  # malformed line for list syntax, and would drop blank lines from the line count.
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    if(end EQUAL -1)
      set(line "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${end} line)
      math(EXPR next "${end} + 1")
      string(SUBSTRING "${text}" ${next} -1 text)
    endif()
    math(EXPR lineNumber "${lineNumber} + 1")
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    set(where "${file}:${lineNumber}")
    if(NOT line MATCHES "^([1-9][0-9]*)[ \t]+([A-Za-z_][A-Za-z0-9_]*)([ \t]+named)?$")
      message(FATAL_ERROR "${where}: expected \"ORDINAL NAME\" or \"ORDINAL NAME named\", found \"${line}\"")
    endif()
    set(ordinal "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(isNamed 0)
    if(CMAKE_MATCH_3)
      set(isNamed 1)
    endif()
    string(LENGTH "${ordinal}" digits)
    if(digits GREATER 5 OR ordinal GREATER 65535)
      message(FATAL_ERROR "${where}: ordinal ${ordinal} is beyond 65535")
    endif()
    list(FIND names "${name}" previous)
    if(NOT previous EQUAL -1)
      list(GET lineNumbers ${previous} previousLine)
      message(FATAL_ERROR "${where}: ${name} is listed twice (first on line ${previousLine})")
    endif()
    list(FIND ordinals "${ordinal}" previous)
    if(NOT previous EQUAL -1)
      list(GET lineNumbers ${previous} previousLine)
      list(GET names ${previous} previousName)
      message(FATAL_ERROR "${where}: ordinal ${ordinal} of ${name} is taken by ${previousName} (line ${previousLine})")
    endif()
    list(APPEND ordinals "${ordinal}")
    list(APPEND names "${name}")
    list(APPEND named "${isNamed}")
    list(APPEND lineNumbers "${lineNumber}")
  endwhile()
  if(names STREQUAL "")
    message(FATAL_ERROR "${file}: the list has no exports")
  endif()
  set(${prefix}_ORDINALS "${ordinals}" PARENT_SCOPE)
  set(${prefix}_NAMES "${names}" PARENT_SCOPE)
  set(${prefix}_NAMED "${named}" PARENT_SCOPE)
endfunction()
