# The export list reader (cmake/export-list.cmake) on small lists written to WORK_DIR: it reads
# comments, blank lines, tabs and Windows line ends, and stops at a malformed line, a name given
# twice and an ordinal given twice, naming the file and the line.
#
#   cmake -DWORK_DIR=<folder> -P export_list_reader_test.cmake
#
# Each list is read in a process of its own (this script again, with LIST), since the reader
# stops with FATAL_ERROR.
if(DEFINED LIST)
  include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/export-list.cmake)
  tydb_read_export_list(${LIST} entries)
  message("read ${entries_ORDINALS} | ${entries_NAMES} | ${entries_NAMED}")
  return()
endif()

# expect(<file name> <content> <text the reader prints>)
function(expect name content expected)
  file(WRITE ${WORK_DIR}/${name} "${content}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DLIST=${name} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # CMake wraps long messages; compare with the breaks folded.
  string(REGEX REPLACE "[ \n]+" " " said "${out}${err}")
  string(FIND "${said}" "${expected}" found)
  if(found EQUAL -1)
    message(SEND_ERROR "${name}: expected \"${expected}\", the reader said:\n${out}${err}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK_DIR})
expect(good.exports "# a comment\n\n1 A named  # and another\n\t2\tB\r\n" "read 1;2 | A;B | 1;0")
expect(malformed.exports "1 A\n\n2 B NONAME\n" "malformed.exports:3: expected \"ORDINAL NAME\" or \"ORDINAL NAME named\", found \"2 B NONAME\"")
expect(same-name.exports "1 A\n2 B\n3 A named\n" "same-name.exports:3: A is listed twice (first on line 1)")
expect(same-ordinal.exports "1 A\n2 B\n# C\n2 C\n" "same-ordinal.exports:4: ordinal 2 of C is taken by B (line 2)")
