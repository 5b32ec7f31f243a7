# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
# Installs the build into PREFIX and checks that the programs, the GStreamer plugin, the desktop
# entry, its icon, the manual, the manual pages, the completion and the AppStream metainfo are
# where a desktop looks for them; validates the entry with desktop-file-validate and the
# metainfo with appstreamcli (the test is reported skipped when those programs are missing).
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPLUGIN_DIR=<relative to PREFIX> -P CheckInstall.cmake
foreach(var BUILD_DIR PREFIX PLUGIN_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(program "${PREFIX}/bin/tavrisk")
set(entry "${PREFIX}/share/applications/tavrisk.desktop")
set(icon "${PREFIX}/share/icons/hicolor/scalable/apps/tavrisk.svg")
set(manual "${PREFIX}/share/tavrisk/help/index.html")
# The pictures the manual shows, relative to it.
file(STRINGS "${manual}" pictures REGEX "<img src=")
if(NOT pictures)
  message(FATAL_ERROR "the manual shows no picture")
endif()
set(shown)
foreach(line ${pictures})
  string(REGEX MATCH "src=\"([^\"]+)\"" match "${line}")
  list(APPEND shown "${PREFIX}/share/tavrisk/help/${CMAKE_MATCH_1}")
endforeach()
file(GLOB metainfo "${PREFIX}/share/metainfo/*.metainfo.xml")
foreach(file ${program} ${entry} ${icon} ${manual} ${shown} ${metainfo} "${PREFIX}/bin/tavrisk-cli"
        "${PREFIX}/${PLUGIN_DIR}/libgsttavrisk.so" "${PREFIX}/${PLUGIN_DIR}/libgsttavriskmp2.so"
        "${PREFIX}/share/man/man1/tavrisk.1.gz"
        "${PREFIX}/share/man/man1/tavrisk-cli.1.gz"
        "${PREFIX}/share/bash-completion/completions/tavrisk-cli")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}\n${output}")
  endif()
endforeach()
if(IS_DIRECTORY "${program}")
  message(FATAL_ERROR "${program} is a directory")
endif()
execute_process(COMMAND test -x "${program}" RESULT_VARIABLE notExecutable)
if(notExecutable)
  message(FATAL_ERROR "${program} is not executable")
endif()

# The entry starts the installed program and names the installed icon.
file(STRINGS "${entry}" execLine REGEX "^Exec=")
file(STRINGS "${entry}" iconLine REGEX "^Icon=")
if(NOT execLine MATCHES "^Exec=tavrisk( |$)")
  message(FATAL_ERROR "the entry does not start bin/tavrisk: ${execLine}")
endif()
if(NOT iconLine STREQUAL "Icon=tavrisk")
  message(FATAL_ERROR "the entry does not name the icon tavrisk: ${iconLine}")
endif()
# The window reads the films' containers and soundtracks: the entry opens them all.
file(STRINGS "${entry}" mimeLine REGEX "^MimeType=")
foreach(type audio/ac3 audio/x-wav video/x-msvideo video/mpeg video/x-matroska video/mp4
        audio/vnd.dts audio/flac)
  if(NOT mimeLine MATCHES "[=;]${type}\\\\?;")
    message(FATAL_ERROR "the entry does not open ${type}: ${mimeLine}")
  endif()
endforeach()
file(READ "${icon}" svg LIMIT 4096)
if(NOT svg MATCHES "<svg")
  message(FATAL_ERROR "${icon} is not an SVG image")
endif()

find_program(VALIDATE desktop-file-validate)
if(NOT VALIDATE)
  message("SKIPPED: desktop-file-validate not found (scripts/setup.sh installs it)")
  return()
endif()
execute_process(COMMAND "${VALIDATE}" "${entry}" RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate rejects ${entry} (${result}):\n${output}")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(NOT APPSTREAMCLI)
  message("SKIPPED: appstreamcli not found (scripts/setup.sh installs it)")
  return()
endif()
execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net ${metainfo} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "appstreamcli rejects ${metainfo} (${result}):\n${output}")
endif()
message("installed into ${PREFIX}: programs, plugin, desktop entry, icon, manuals, completion "
        "and metainfo in place")
