# Runs `quornel demo` into a fresh directory and compares the SHA-256 of both
# pictures with the pinned values: the demo must write the same bytes on every run.
#   cmake -DQUORNEL=<path to quornel> -DOUT=<scratch directory> -P check_demo.cmake
# Pinned after looking at the pictures; a change to the painting or to the engine's
# arithmetic changes them, so look again before pinning new ones.
set(expected_page   "fde874df3371c78ad31890f6c240c04631a87b63b163f7f7559ee8f1da533fef")
set(expected_render "f580fa8fa69012442357b924110ffeabb7f263e2c352e7e45569000e2fe89324")

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND "${QUORNEL}" demo --out "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "quornel demo failed: ${rc}")
endif()

set(failed FALSE)
foreach(name page render)
  file(SHA256 "${OUT}/demo-${name}.png" got)
  if(NOT got STREQUAL expected_${name})
    message(SEND_ERROR "demo-${name}.png: SHA-256 ${got}, pinned ${expected_${name}}")
    set(failed TRUE)
  endif()
endforeach()
if(NOT failed)
  message(STATUS "demo pictures match their pinned checksums")
endif()
