# cmake -DSOURCE=<source dir> -DAPP_ID=<id> -DVERSION=<x.y.z> -P CheckPackaging.cmake
# Checks the files that go into a package: the desktop entry (desktop-file-validate), the metainfo
# (appstreamcli validate --no-net) with this version as its newest release, the man pages (groff
# warnings) naming this version, and the bash completion (bash -n). A tool that is not installed is
# said and passed over; everything else that is wrong fails.
set(failures 0)
macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

macro(run_tool name)
  find_program(tool ${name})
  if(NOT tool)
    message(STATUS "${name} is not installed; its check is skipped")
  else()
    execute_process(COMMAND ${tool} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      fail("${name} ${ARGN}:\n${out}${err}")
    endif()
  endif()
  unset(tool CACHE)
  unset(tool)
endmacro()

set(pkg ${SOURCE}/packaging)
run_tool(desktop-file-validate ${pkg}/${APP_ID}.desktop)
run_tool(appstreamcli validate --no-net --explain ${pkg}/${APP_ID}.metainfo.xml)
run_tool(bash -n ${pkg}/completion/orvalt-cli)

file(READ ${pkg}/${APP_ID}.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  fail("the metainfo's newest release is '${CMAKE_MATCH_1}', the project's version ${VERSION}")
endif()

foreach(page orvalt.1 orvalt-cli.1 orvalt-instrument.1)
  file(STRINGS ${pkg}/man/${page} header REGEX "^\\.TH ")
  if(NOT header MATCHES "\"Orvalt ${VERSION}\"")
    fail("${page} does not name Orvalt ${VERSION}: ${header}")
  endif()
  find_program(groff groff)
  if(groff)
    execute_process(COMMAND ${groff} -man -Tutf8 -ww -z ${pkg}/man/${page}
                    RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
      fail("groff on ${page}:\n${err}")
    endif()
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} packaging check(s) failed")
endif()
