# SPDX-License-Identifier: GPL-3.0-or-later
# The core folders never include the window model or the window: sources and engines talk
# to the job host instead. The engines read blocks through their own interface and never
# include the sources that implement it; the encoder is a library of its own, which the MP2
# engine drives with a sink for its frames: it opens no file and prints nothing. Run at
# configure time and as a test:
#   cmake -DSOURCE_DIR=<repo> -P cmake/CheckLayering.cmake

# Fails when a file of `folders` includes a header of the folders `refused` (a regex
# alternative such as "app|gui|cli").
function(refuse_includes folders refused what)
  set(offenders "")
  foreach(folder ${folders})
    file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(file ${files})
      file(STRINGS "${file}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${refused})/")
      if(hits)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
        list(APPEND offenders "${name}: ${hits}")
      endif()
    endforeach()
  endforeach()
  if(offenders)
    list(JOIN offenders "\n  " text)
    message(FATAL_ERROR "${what}:\n  ${text}")
  endif()
endfunction()

set(core_folders sources engines mp2enc mp2dec dsp platform host graph)
refuse_includes("${core_folders}" "app|gui|cli"
                "Core files include a front end's headers")
refuse_includes("engines" "sources" "Engine files include a source's headers")
refuse_includes("mp2enc" "engines|sources|host|platform"
                "Encoder files include an engine's, a source's, the job host's or the platform's headers")

# The core folders never print or end the process: they return an outcome and leave the
# showing to the front ends, which hand over any stream they want written.
set(printing "")
foreach(folder ${core_folders})
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  set(rules
      "#[ \t]*include[ \t]*<iostream>"
      "std::(cout|cerr|clog)"
      "(^|[^A-Za-z0-9_:.>])(std::)?(printf|puts|putchar|perror|exit|_Exit|quick_exit|abort)[ \t]*\\("
      "(^|[^A-Za-z0-9_])(stdout|stderr)([^A-Za-z0-9_]|$)")
  foreach(file ${files})
    file(STRINGS "${file}" lines)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "//.*$" "" code "${line}")
      foreach(rule IN LISTS rules)
        if(code MATCHES "${rule}")
          string(STRIP "${CMAKE_MATCH_0}" hit)
          list(APPEND printing "${name}: ${hit}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(printing)
  list(JOIN printing "\n  " text)
  message(FATAL_ERROR "Core files print or end the process:\n  ${text}")
endif()

# The settings model's files (app/model/) include neither the jobs' headers nor engines,
# encoders or sources: it knows engines and inputs through the tables alone.
refuse_includes("app/model" "app/jobs|engines|mp2enc|sources"
                "The settings model includes a job's, an engine's or a source's headers")
