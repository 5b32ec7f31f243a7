# The core folders never include the window model or the window: sources and engines talk
# to the job host instead. Run at configure time and as a test:
#   cmake -DSOURCE_DIR=<repo> -P cmake/CheckLayering.cmake
set(core_folders sources engines mp2enc mp2dec dsp platform host graph)
set(offenders "")
foreach(folder ${core_folders})
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](app|gui|cli)/")
    if(hits)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
      list(APPEND offenders "${name}: ${hits}")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "Core files include a front end's headers:\n  ${text}")
endif()
