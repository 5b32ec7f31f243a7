# The core folders never include the window model or the window: sources and engines talk
# to the job host instead. The engines read blocks through their own interface and never
# include the sources that implement it. Run at configure time and as a test:
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

refuse_includes("sources;engines;mp2enc;mp2dec;dsp;platform;host;graph" "app|gui|cli"
                "Core files include a front end's headers")
refuse_includes("engines" "sources" "Engine files include a source's headers")
