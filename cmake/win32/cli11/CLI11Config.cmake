# CLI11 for the Windows cross build: the host's header-only package (Debian's libcli11-dev),
# copied into the build folder so that the cross compiler gets only these headers and never the
# host's /usr/include.
if(TARGET CLI11::CLI11)
  return()
endif()
set(_cli11_headers /usr/include/CLI)
if(NOT EXISTS ${_cli11_headers}/CLI.hpp)
  set(CLI11_FOUND FALSE)
  set(CLI11_NOT_FOUND_MESSAGE "CLI11 headers not found in ${_cli11_headers} (apt-get install libcli11-dev)")
  return()
endif()
file(COPY ${_cli11_headers} DESTINATION ${CMAKE_BINARY_DIR}/cli11/include)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11/include)
set(CLI11_FOUND TRUE)
