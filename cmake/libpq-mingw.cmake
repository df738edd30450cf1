# libpq for the Windows record manager's server store, linked statically into w3btrv7.dll.
#
# Debian has no 32-bit Windows libpq: scripts/build-libpq-mingw.sh builds one from Debian's own
# PostgreSQL source package (one pinned version, checked against its SHA-256) into the build
# folder, once; a later build finds it there. Provides PostgreSQL::PQ, a static library with its
# headers and the Windows libraries it calls.
if(TARGET PostgreSQL::PQ)
  return()
endif()

set(_libpq_dir ${CMAKE_BINARY_DIR}/libpq-mingw)
set(_libpq_script ${PROJECT_SOURCE_DIR}/scripts/build-libpq-mingw.sh)
# The include folder must exist when the build is generated, before the script has filled it.
file(MAKE_DIRECTORY ${_libpq_dir}/include)
add_custom_command(OUTPUT ${_libpq_dir}/libpq-mingw.version
  BYPRODUCTS ${_libpq_dir}/lib/libpq.a
  COMMAND ${_libpq_script} ${_libpq_dir} ${CMAKE_C_COMPILER}
  DEPENDS ${_libpq_script}
  COMMENT "libpq for 32-bit Windows from Debian's PostgreSQL source package (built once, then kept)"
  VERBATIM)
add_custom_target(libpq_mingw DEPENDS ${_libpq_dir}/libpq-mingw.version)

add_library(PostgreSQL::PQ STATIC IMPORTED GLOBAL)
set_target_properties(PostgreSQL::PQ PROPERTIES
  IMPORTED_LOCATION ${_libpq_dir}/lib/libpq.a
  INTERFACE_INCLUDE_DIRECTORIES ${_libpq_dir}/include
  # Sockets, the SSPI authentication, the profile folder, random numbers and the user's name.
  INTERFACE_LINK_LIBRARIES "ws2_32;secur32;shell32;advapi32")
add_dependencies(PostgreSQL::PQ libpq_mingw)
