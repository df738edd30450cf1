cmake_policy(VERSION 3.25)
# The layering check on a small tree: base <- wslock, dbapi above both. A file of wslock that
# includes a header of dbapi, by name or by a relative path, stops the check; one that includes
# base and its own headers passes.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/base/status.h "")
file(WRITE ${WORK}/dbapi/table.h "")
file(WRITE ${WORK}/wslock/lock.h "#include \"status.h\"\n")

function(check expectFailure lockHeaderInclude)
  file(WRITE ${WORK}/wslock/lock.cpp "#include \"lock.h\"\n#include ${lockHeaderInclude}\n#include <vector>\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} "-DFOLDERS=base;wslock;dbapi" -DLAYER=wslock
      "-DALLOWED=wslock;base" -DSOURCES=wslock/lock.cpp -P ${CHECK}
    RESULT_VARIABLE rc ERROR_VARIABLE errors)
  if(expectFailure AND (rc EQUAL 0 OR NOT errors MATCHES "wslock/lock.cpp includes .* of dbapi/"))
    message(FATAL_ERROR "an include of ${lockHeaderInclude} in wslock passed the check: ${errors}")
  elseif(NOT expectFailure AND NOT rc EQUAL 0)
    message(FATAL_ERROR "an include of ${lockHeaderInclude} in wslock was refused: ${errors}")
  endif()
endfunction()

check(TRUE "\"table.h\"")
check(TRUE "\"../dbapi/table.h\"")
check(FALSE "\"status.h\"")
check(FALSE "\"tydb.h\"")
