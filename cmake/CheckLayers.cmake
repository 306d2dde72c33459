# cmake -DSOURCE=<tree> -DMAP=<architecture.md> [-DQT_MODULE_DIRS=Core=<dir>;Gui=<dir>;...] -P CheckLayers.cmake
#
# Reads every #include of <tree>/src/<folder>/ and <tree>/instrument/ against the layer map of the
# architecture notes: the block fenced as ```layers, one line a folder, "folder  may-include... |
# Qt modules". An include "folder/File.h" must name a folder its own line lists; a bare "File.h"
# must lie beside the including file (or be generated: OrvaltVersion.h, *.moc); ".." never passes.
# With QT_MODULE_DIRS given, a Qt header (<QWidget>, <QtWidgets/QWidget>) must come from a module
# the folder's line lists. Every file of a folder the map does not know fails too. Each violation
# is printed on a line of its own: "<file>: <include>: <why>".

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE OR NOT MAP)
  message(FATAL_ERROR "usage: cmake -DSOURCE=<tree> -DMAP=<architecture.md> -P CheckLayers.cmake")
endif()

# The layer map.
file(STRINGS "${MAP}" map_lines)
set(in_block FALSE)
set(folders)
foreach(line IN LISTS map_lines)
  if(line MATCHES "^```layers")
    set(in_block TRUE)
  elseif(in_block AND line MATCHES "^```")
    set(in_block FALSE)
  elseif(in_block AND line MATCHES "^([a-z]+)[ \t]+([^|]*)\\|(.*)$")
    set(folder "${CMAKE_MATCH_1}")
    set(qt "${CMAKE_MATCH_3}")
    string(REGEX REPLACE "[ \t]+" ";" may "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "[ \t]+" ";" qt "${qt}")
    list(REMOVE_ITEM may "")
    list(REMOVE_ITEM qt "")
    list(APPEND folders ${folder})
    set(may_${folder} ${may})
    set(qt_${folder} ${qt})
  endif()
endforeach()
if(NOT folders)
  message(FATAL_ERROR "${MAP}: no ```layers block")
endif()

# Where each Qt module's headers lie.
set(qt_modules)
foreach(entry IN LISTS QT_MODULE_DIRS)
  if(entry MATCHES "^([A-Za-z]+)=(.+)$")
    list(APPEND qt_modules ${CMAKE_MATCH_1})
    set(qt_dir_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

file(GLOB sources "${SOURCE}/src/*/*.h" "${SOURCE}/src/*/*.cpp" "${SOURCE}/instrument/*.h"
     "${SOURCE}/instrument/*.cpp")
set(violations 0)
macro(violation file include why)
  file(RELATIVE_PATH shown "${SOURCE}" "${file}")
  message(STATUS "${shown}: ${include}: ${why}")
  math(EXPR violations "${violations} + 1")
endmacro()

foreach(file IN LISTS sources)
  get_filename_component(dir "${file}" DIRECTORY)
  get_filename_component(folder "${dir}" NAME)
  if(NOT folder IN_LIST folders)
    violation("${file}" "-" "the folder ${folder} is not in the layer map")
    continue()
  endif()
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(include "${CMAKE_MATCH_1}")
      if(include MATCHES "(^|/)\\.\\.(/|$)")
        violation("${file}" "\"${include}\"" "climbs out of its folder")
      elseif(include MATCHES "^([^/]+)/")
        set(target "${CMAKE_MATCH_1}")
        if(NOT target IN_LIST may_${folder})
          violation("${file}" "\"${include}\"" "${folder} may not include ${target} (points up or aside)")
        endif()
      elseif(NOT EXISTS "${dir}/${include}" AND NOT include STREQUAL "OrvaltVersion.h"
             AND NOT include MATCHES "\\.moc$")
        violation("${file}" "\"${include}\"" "not beside it; name its folder")
      endif()
    elseif(qt_modules AND line MATCHES "#[ \t]*include[ \t]*<(Qt([A-Za-z]+)/)?(Q[A-Za-z_]+|qt[a-z_]+\\.h)>")
      set(header "${CMAKE_MATCH_3}")
      set(module "${CMAKE_MATCH_2}")
      if(NOT module)
        foreach(m IN LISTS qt_modules)
          if(EXISTS "${qt_dir_${m}}/${header}")
            set(module ${m})
            break()
          endif()
        endforeach()
      endif()
      if(module AND module IN_LIST qt_modules AND NOT module IN_LIST qt_${folder})
        violation("${file}" "<${header}>" "${folder} may not use Qt ${module}")
      endif()
    endif()
  endforeach()
endforeach()

list(LENGTH sources checked)
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layer map of ${MAP}")
endif()
message(STATUS "${checked} files follow the layer map")
