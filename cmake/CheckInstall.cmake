# cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
# Installs the build into PREFIX and checks that the program, its desktop entry, its icon and
# its manual are where a desktop looks for them; validates the entry with desktop-file-validate
# (the test is reported skipped when that program is missing).
foreach(var BUILD_DIR PREFIX)
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
foreach(file ${program} ${entry} ${icon} ${manual})
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
message("installed into ${PREFIX}: program, desktop entry, icon and manual in place")
