# SPDX-License-Identifier: GPL-3.0-or-later
# Every C++, CMake, shell and Python file of the checkout names its licence in its first line
# (its second after a "#!" line); scripts/add-spdx.sh adds the line. Run as a test:
#   cmake -DSOURCE_DIR=<repo> -P cmake/CheckSpdx.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp"
     "${SOURCE_DIR}/*.c" "${SOURCE_DIR}/*CMakeLists.txt" "${SOURCE_DIR}/*.cmake"
     "${SOURCE_DIR}/*.sh" "${SOURCE_DIR}/*.py")
set(missing "")
foreach(file ${files})
  # Build folders and hidden folders are not sources.
  if(file MATCHES "^(build[^/]*|\\.[^/]*)/")
    continue()
  endif()
  file(READ "${SOURCE_DIR}/${file}" head LIMIT 512)
  if(NOT head MATCHES "^(#![^\n]*\n)?(//|#) SPDX-License-Identifier: GPL-3\\.0-or-later\n")
    list(APPEND missing "${file}")
  endif()
endforeach()
if(missing)
  list(LENGTH missing count)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "${count} files lack the line "
                      "\"SPDX-License-Identifier: GPL-3.0-or-later\" (scripts/add-spdx.sh adds "
                      "it):\n  ${text}")
endif()
