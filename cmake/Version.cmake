# The project's version as a header for every target: OrvaltVersion.h.
configure_file(${CMAKE_CURRENT_LIST_DIR}/OrvaltVersion.h.in ${CMAKE_BINARY_DIR}/generated/OrvaltVersion.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
