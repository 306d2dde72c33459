# cmake -DSOURCE=<source dir> -DAPP_ID=<id> -DVERSION=<x.y.z> -DCLI=<orvalt-cli> -DWORK=<folder>
#       -P CheckPackaging.cmake
# Checks the files that go into a package: the desktop entry (desktop-file-validate), the metainfo
# (appstreamcli validate --no-net) with this version as its newest release, the man pages (groff
# warnings) naming this version, the bash completion (bash -n), the Debian changelog (its newest
# entry this version, dpkg-parsechangelog) and the copyright file (its licence word for word the
# LICENSE's, its notice with a year), the systemd units, system and user (systemd-analyze verify,
# which needs no running systemd). A tool that is not installed is said and passed over;
# everything else that is wrong fails.
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

file(STRINGS ${pkg}/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^orvalt \\(${VERSION}\\) ")
  fail("the changelog's newest entry is '${newest}', the project's version ${VERSION}")
endif()
run_tool(dpkg-parsechangelog -l ${pkg}/debian/changelog)

# The copyright file carries the licence as its paragraph: each line indented, an empty line a ".".
file(READ ${SOURCE}/LICENSE licence)
file(READ ${pkg}/debian/copyright copyright)
string(REGEX REPLACE "^.*\nLicense: Expat\n" "" paragraph "${copyright}")
string(REGEX REPLACE "\n \\.\n" "\n\n" paragraph "${paragraph}")
string(REGEX REPLACE "(^|\n) " "\\1" paragraph "${paragraph}")
string(FIND "${licence}" "${paragraph}" at)
if(at EQUAL -1)
  fail("the licence of packaging/debian/copyright is not LICENSE's")
endif()
if(NOT copyright MATCHES "\nCopyright: [0-9][0-9][0-9][0-9]" OR NOT licence MATCHES "Copyright \\(c\\) [0-9][0-9][0-9][0-9] ")
  fail("the copyright notices need a year")
endif()

# systemd-analyze verify wants the program of ExecStart= where the unit names it: until the package
# is installed (scripts/package-check verifies the units there as they are), the unit is checked in a
# copy that names the program just built. Every other line is the unit's own.
find_program(systemd_analyze systemd-analyze)
if(NOT systemd_analyze)
  message(STATUS "systemd-analyze is not installed; the units' check is skipped")
else()
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK}/runtime)
  file(CHMOD ${WORK}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  foreach(kind system user)
    file(MAKE_DIRECTORY ${WORK}/${kind})
    file(READ ${pkg}/systemd/${kind}/orvalt-sync@.service unit)
    if(NOT unit MATCHES "\nExecStart=/usr/bin/orvalt-cli ")
      fail("${kind}/orvalt-sync@.service does not run /usr/bin/orvalt-cli")
    endif()
    string(REPLACE "ExecStart=/usr/bin/orvalt-cli " "ExecStart=${CLI} " unit "${unit}")
    file(WRITE ${WORK}/${kind}/orvalt-sync@.service "${unit}")
    file(COPY ${pkg}/systemd/orvalt-sync@.timer DESTINATION ${WORK}/${kind})
    set(scope)
    if(kind STREQUAL user)
      set(scope --user)
    endif()
    # A user manager's paths are looked up under $XDG_RUNTIME_DIR, which a test run may not have.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK}/runtime
                            ${systemd_analyze} ${scope} verify --man=no
                            ${WORK}/${kind}/orvalt-sync@.service ${WORK}/${kind}/orvalt-sync@.timer
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
      fail("systemd-analyze ${scope} verify on the ${kind} units:\n${out}${err}")
    endif()
    # The drop-in for instruments on the network, as systemd reads it: after the unit's own lines.
    file(READ ${pkg}/systemd/network.conf dropin)
    file(MAKE_DIRECTORY ${WORK}/${kind}-network)
    file(WRITE ${WORK}/${kind}-network/orvalt-sync@.service "${unit}\n${dropin}")
    file(COPY ${pkg}/systemd/orvalt-sync@.timer DESTINATION ${WORK}/${kind}-network)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK}/runtime
                            ${systemd_analyze} ${scope} verify --man=no
                            ${WORK}/${kind}-network/orvalt-sync@.service ${WORK}/${kind}-network/orvalt-sync@.timer
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
      fail("systemd-analyze ${scope} verify on the ${kind} units with systemd/network.conf:\n${out}${err}")
    endif()
  endforeach()
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} packaging check(s) failed")
endif()
