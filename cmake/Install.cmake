# Installing Orvalt: the three programs, the default settings file, the desktop entry, the icon,
# the AppStream metainfo, the man pages, the bash completion of orvalt-cli, the systemd units of
# the nightly collection and the licence, under the GNU install folders (every rule honours
# DESTDIR). Then the Windows resources of the window and the Debian package (cmake/Packaging.cmake).
#
# An installed program finds its default settings file at <bindir>/../share/orvalt/orvalt.ini and
# keeps a per-user copy of it (src/core/SettingsLocation.cpp): keep bin/ and share/ side by side.
include(GNUInstallDirs)

set(ORVALT_APP_ID org.orvalt.Orvalt)
set(ORVALT_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS orvalt orvalt-cli orvalt-instrument RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cpack, cmake --install --strip) also drops the compiler's notes, as Debian's
# own packages do: the .comment and .note sections, which nothing reads at run time.
find_program(ORVALT_OBJCOPY NAMES ${CMAKE_OBJCOPY} objcopy)
if(ORVALT_OBJCOPY AND UNIX)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program orvalt orvalt-cli orvalt-instrument)
        execute_process(COMMAND \"${ORVALT_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()
install(FILES ${ORVALT_DEFAULT_INI} DESTINATION ${CMAKE_INSTALL_DATADIR}/orvalt RENAME orvalt.ini)
install(FILES ${ORVALT_PACKAGING_DIR}/${ORVALT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVALT_PACKAGING_DIR}/${ORVALT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ORVALT_PACKAGING_DIR}/icons/${ORVALT_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ORVALT_PACKAGING_DIR}/completion/orvalt-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The nightly collection: a service and a timer for one instrument each, as user units and as system
# units (those run as a user of their own, never as root). systemd looks for them under lib/ of the
# prefix whatever the distribution calls its library folder.
if(UNIX AND NOT APPLE)
  foreach(kind user system)
    install(FILES ${ORVALT_PACKAGING_DIR}/systemd/${kind}/orvalt-sync@.service
                  ${ORVALT_PACKAGING_DIR}/systemd/orvalt-sync@.timer
            DESTINATION lib/systemd/${kind})
  endforeach()
endif()
# The licence in Debian's machine-readable copyright format, and the changelog in Debian's format
# (the package is native: its version has no Debian revision), compressed as Debian keeps it.
install(FILES ${ORVALT_PACKAGING_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvalt)
# The units' drop-in for instruments on the network, to be copied where the README says.
install(FILES ${ORVALT_PACKAGING_DIR}/systemd/network.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvalt/examples
        RENAME orvalt-sync-network.conf)

# Man pages and the changelog, compressed as Debian keeps them where gzip is at hand.
set(ORVALT_MAN_PAGES orvalt.1 orvalt-cli.1 orvalt-instrument.1)
find_program(ORVALT_GZIP gzip)
set(man_outputs)
foreach(page ${ORVALT_MAN_PAGES})
  if(ORVALT_GZIP)
    set(out ${CMAKE_BINARY_DIR}/packaging/man/${page}.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
      COMMAND ${ORVALT_GZIP} -9nc ${ORVALT_PACKAGING_DIR}/man/${page} > ${out}
      DEPENDS ${ORVALT_PACKAGING_DIR}/man/${page}
      VERBATIM)
    list(APPEND man_outputs ${out})
  else()
    list(APPEND man_outputs ${ORVALT_PACKAGING_DIR}/man/${page})
  endif()
endforeach()
if(UNIX)
  add_custom_target(orvalt_man_pages ALL DEPENDS ${man_outputs})
  install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(UNIX)
  set(changelog ${ORVALT_PACKAGING_DIR}/debian/changelog)
  if(ORVALT_GZIP)
    set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
    add_custom_command(OUTPUT ${changelog}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
      COMMAND ${ORVALT_GZIP} -9nc ${ORVALT_PACKAGING_DIR}/debian/changelog > ${changelog}
      DEPENDS ${ORVALT_PACKAGING_DIR}/debian/changelog
      VERBATIM)
    add_custom_target(orvalt_changelog ALL DEPENDS ${changelog})
  endif()
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvalt)
endif()

# PNG sizes of the icon for menus that do not draw SVG, where rsvg-convert (librsvg2-bin) is at hand.
find_program(ORVALT_RSVG_CONVERT rsvg-convert)
if(ORVALT_RSVG_CONVERT AND UNIX)
  set(icon_outputs)
  foreach(size 16 24 32 48 64 128 256)
    set(out ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/${ORVALT_APP_ID}.png)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
      COMMAND ${ORVALT_RSVG_CONVERT} -w ${size} -h ${size} -o ${out} ${ORVALT_PACKAGING_DIR}/icons/${ORVALT_APP_ID}.svg
      DEPENDS ${ORVALT_PACKAGING_DIR}/icons/${ORVALT_APP_ID}.svg
      VERBATIM)
    list(APPEND icon_outputs ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(orvalt_icon_sizes ALL DEPENDS ${icon_outputs})
endif()

# Windows: zlib's DLL goes beside the programs, as windeployqt puts Qt's there (it brings no zlib).
# It lies in the bin folder beside the include folder that zlib was found with (vcpkg's
# installed/<triplet>, or the prefix zlib's own CMake build installed into).
if(WIN32)
  list(GET ZLIB_INCLUDE_DIRS 0 zlib_include)
  get_filename_component(zlib_prefix "${zlib_include}" DIRECTORY)
  find_file(ORVALT_ZLIB_DLL NAMES zlib1.dll zlib.dll zlibd1.dll zlibd.dll PATHS "${zlib_prefix}/bin"
            NO_DEFAULT_PATH)
  if(ORVALT_ZLIB_DLL)
    install(FILES ${ORVALT_ZLIB_DLL} DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    message(WARNING "No zlib DLL in ${zlib_prefix}/bin: copy it beside the installed programs by hand "
                    "(a static zlib needs none)")
  endif()
endif()

# Windows: the window is a GUI program (no console), with the icon and the version in its resources.
set_target_properties(orvalt PROPERTIES WIN32_EXECUTABLE ON)
if(WIN32)
  enable_language(RC)
  set(ORVALT_ICO ${ORVALT_PACKAGING_DIR}/windows/orvalt.ico)
  configure_file(${ORVALT_PACKAGING_DIR}/windows/orvalt.rc.in ${CMAKE_BINARY_DIR}/orvalt.rc @ONLY)
  target_sources(orvalt PRIVATE ${CMAKE_BINARY_DIR}/orvalt.rc)
endif()

# The desktop entry, the metainfo, the man pages, the completion and the systemd units are checked
# as a test: valid for their tools, and naming the project's version.
if(BUILD_TESTING)
  add_test(NAME packaging
           COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DAPP_ID=${ORVALT_APP_ID}
                   -DVERSION=${PROJECT_VERSION} -DCLI=$<TARGET_FILE:orvalt-cli>
                   -DWORK=${CMAKE_BINARY_DIR}/packaging-check -P ${CMAKE_CURRENT_LIST_DIR}/CheckPackaging.cmake)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
