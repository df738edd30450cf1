# SQLite for the Windows record manager, compiled from source into w3btrv7.dll.
#
# The amalgamation comes from a registry package rather than from this repository: the npm
# package better-sqlite3 ships sqlite3.c and sqlite3.h in deps/sqlite3/. One pinned version is
# fetched with `npm pack` into the build folder and must match the SHA-256 below, so every build
# compiles exactly the same SQLite. Provides SQLite::SQLite3, as find_package(SQLite3) does on
# POSIX.
set(TYDB_SQLITE_PACKAGE better-sqlite3)
set(TYDB_SQLITE_PACKAGE_VERSION 12.11.1)  # SQLite 3.53.2
set(TYDB_SQLITE_PACKAGE_SHA256 ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835)

if(TARGET SQLite::SQLite3)
  return()
endif()

set(_sqlite_dir ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
set(_sqlite_tarball ${_sqlite_dir}/${TYDB_SQLITE_PACKAGE}-${TYDB_SQLITE_PACKAGE_VERSION}.tgz)
set(_sqlite_sources ${_sqlite_dir}/${TYDB_SQLITE_PACKAGE_VERSION})

function(_tydb_sqlite_tarball_ok result)
  set(${result} FALSE PARENT_SCOPE)
  if(EXISTS ${_sqlite_tarball})
    file(SHA256 ${_sqlite_tarball} hash)
    if(hash STREQUAL TYDB_SQLITE_PACKAGE_SHA256)
      set(${result} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

_tydb_sqlite_tarball_ok(_sqlite_ok)
if(NOT _sqlite_ok)
  find_program(TYDB_NPM NAMES npm)
  if(NOT TYDB_NPM)
    message(FATAL_ERROR "npm is needed to fetch SQLite for the Windows build (apt-get install npm)")
  endif()
  file(MAKE_DIRECTORY ${_sqlite_dir})
  file(REMOVE ${_sqlite_tarball})
  message(STATUS "Fetching ${TYDB_SQLITE_PACKAGE}@${TYDB_SQLITE_PACKAGE_VERSION} for the SQLite amalgamation")
  execute_process(COMMAND ${TYDB_NPM} pack --silent ${TYDB_SQLITE_PACKAGE}@${TYDB_SQLITE_PACKAGE_VERSION}
    WORKING_DIRECTORY ${_sqlite_dir} RESULT_VARIABLE _npm_rc OUTPUT_QUIET ERROR_VARIABLE _npm_errors)
  if(NOT _npm_rc EQUAL 0)
    message(FATAL_ERROR "npm pack ${TYDB_SQLITE_PACKAGE}@${TYDB_SQLITE_PACKAGE_VERSION} failed: ${_npm_errors}")
  endif()
  _tydb_sqlite_tarball_ok(_sqlite_ok)
  if(NOT _sqlite_ok)
    file(SHA256 ${_sqlite_tarball} _sqlite_hash)
    file(REMOVE ${_sqlite_tarball})
    message(FATAL_ERROR "${TYDB_SQLITE_PACKAGE}-${TYDB_SQLITE_PACKAGE_VERSION}.tgz has SHA-256 "
      "${_sqlite_hash}, expected ${TYDB_SQLITE_PACKAGE_SHA256}: refusing to build with it")
  endif()
  file(REMOVE_RECURSE ${_sqlite_sources})
endif()

if(NOT EXISTS ${_sqlite_sources}/sqlite3.c OR NOT EXISTS ${_sqlite_sources}/sqlite3.h)
  file(REMOVE_RECURSE ${_sqlite_dir}/package)
  file(ARCHIVE_EXTRACT INPUT ${_sqlite_tarball} DESTINATION ${_sqlite_dir}
    PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  file(MAKE_DIRECTORY ${_sqlite_sources})
  file(RENAME ${_sqlite_dir}/package/deps/sqlite3/sqlite3.c ${_sqlite_sources}/sqlite3.c)
  file(RENAME ${_sqlite_dir}/package/deps/sqlite3/sqlite3.h ${_sqlite_sources}/sqlite3.h)
  file(REMOVE_RECURSE ${_sqlite_dir}/package)
endif()

add_library(tydb_sqlite3 STATIC ${_sqlite_sources}/sqlite3.c)
target_include_directories(tydb_sqlite3 SYSTEM PUBLIC ${_sqlite_sources})
# Serialized threading (the default) because one process may use the engine from several
# threads; no run-time extension loading, which a record manager never needs.
target_compile_definitions(tydb_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DQS=0)
# Third-party code: its warnings are not ours to fix.
target_compile_options(tydb_sqlite3 PRIVATE -w)
set_target_properties(tydb_sqlite3 PROPERTIES POSITION_INDEPENDENT_CODE ON)
add_library(SQLite::SQLite3 ALIAS tydb_sqlite3)
