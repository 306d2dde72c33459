# Copies SRC to DST unless DST exists: a settings file the user edited is never replaced.
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
