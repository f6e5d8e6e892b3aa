# Runs one fuzz target for a short while, as ctest does:
#   cmake -DTARGET=<binary> -DWORK=<dir> -DSEEDS=<dir> -DSECONDS=<n> -P RunFuzzTarget.cmake
# New inputs go to a fresh corpus under WORK (in the build tree); the seed
# folder (used when it exists) is only read. Inputs that fail are kept in
# WORK/artifacts.
foreach(v TARGET WORK SEEDS SECONDS)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "RunFuzzTarget.cmake: ${v} is not set")
  endif()
endforeach()
if(NOT IS_DIRECTORY ${SEEDS})
  set(SEEDS "")
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
execute_process(
  COMMAND ${TARGET} ${WORK}/corpus ${SEEDS}
          -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/artifacts/
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TARGET} ended with ${rc}; the input is in ${WORK}/artifacts")
endif()
