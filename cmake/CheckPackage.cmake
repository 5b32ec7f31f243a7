# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of a built tree with CPack and checks its control fields, its
# Depends line and its file list (reported skipped without dpkg-deb):
#   cmake -DBUILD_DIR=... -DOUT_DIR=... -DVERSION=... -DPLUGIN_DIR=... -P CheckPackage.cmake
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in a script
foreach(var BUILD_DIR OUT_DIR VERSION PLUGIN_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
  message("SKIPPED: dpkg-deb not found")
  return()
endif()

file(REMOVE_RECURSE "${OUT_DIR}")
get_filename_component(cmakeBin "${CMAKE_COMMAND}" DIRECTORY)
execute_process(COMMAND "${cmakeBin}/cpack" -G DEB -B "${OUT_DIR}"
                        --config "${BUILD_DIR}/CPackConfig.cmake"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB debs "${OUT_DIR}/tavrisk_*.deb")
list(LENGTH debs count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack -G DEB failed (${result}, ${count} packages):\n${output}")
endif()

function(check_field field pattern)
  execute_process(COMMAND "${DPKG_DEB}" -f "${debs}" ${field} OUTPUT_VARIABLE value
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT value MATCHES "${pattern}")
    message(FATAL_ERROR "${field}: \"${value}\" does not match \"${pattern}\"")
  endif()
endfunction()
check_field(Package "^tavrisk$")
check_field(Version "^${VERSION}$")
check_field(Section "^sound$")
check_field(Architecture "^[a-z0-9]+$")
check_field(Maintainer "^[^<]+ <[^@> ]+@[^> ]+>$")
check_field(Description "^[a-z].+\n .+")
check_field(Homepage "^https://")
# The libraries found by dpkg-shlibdeps, FFmpeg's, which the programs load when they first use
# them, and the GStreamer plugins the graph loads.
foreach(dependency libc6 "libavcodec[0-9]+" "libavformat[0-9]+" "libavutil[0-9]+"
                   "libswresample[0-9]+" "libgstreamer1\\.0-0" "libqt6widgets6" "libsoxr0"
                   gstreamer1\\.0-plugins-base gstreamer1\\.0-plugins-good
                   gstreamer1\\.0-plugins-bad gstreamer1\\.0-libav)
  check_field(Depends "(^|, )${dependency}( |,|$)")
endforeach()

execute_process(COMMAND "${DPKG_DEB}" -c "${debs}" OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "\\./[^\n]*[^/\n]\n" entries "${listing}")
set(files "")
foreach(entry ${entries})
  string(REGEX REPLACE "^\\./|\n$" "" entry "${entry}")
  list(APPEND files "/${entry}")
endforeach()
set(expected /usr/bin/tavrisk /usr/bin/tavrisk-cli "${PLUGIN_DIR}/libgsttavrisk.so"
    "${PLUGIN_DIR}/libgsttavriskmp2.so"
    /usr/share/applications/tavrisk.desktop /usr/share/icons/hicolor/scalable/apps/tavrisk.svg
    /usr/share/man/man1/tavrisk.1.gz /usr/share/man/man1/tavrisk-cli.1.gz
    /usr/share/bash-completion/completions/tavrisk-cli /usr/share/doc/tavrisk/copyright
    /usr/share/tavrisk/help/index.html)
foreach(file ${expected})
  if(NOT file IN_LIST files)
    list(JOIN files "\n  " text)
    message(FATAL_ERROR "the package lacks ${file}; it holds:\n  ${text}")
  endif()
endforeach()
# The metainfo, and nothing outside /usr nor any program but the two.
set(metainfo "")
foreach(file ${files})
  if(file MATCHES "^/usr/share/metainfo/.+\\.metainfo\\.xml$")
    set(metainfo "${file}")
  elseif(NOT file MATCHES "^/usr/(bin|lib|share)/" OR file MATCHES "^/usr/local/"
         OR (file MATCHES "^/usr/bin/" AND NOT file IN_LIST expected))
    message(FATAL_ERROR "the package should not install ${file}")
  endif()
endforeach()
if(NOT metainfo)
  message(FATAL_ERROR "the package has no AppStream metainfo")
endif()
list(LENGTH files count)
message("${debs}: ${count} files, control fields and dependencies as expected")
