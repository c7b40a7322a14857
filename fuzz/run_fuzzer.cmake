# Runs one fuzz target for SECONDS on a fresh copy of its seed corpus.
# cmake -DFUZZER=<program> -DSEEDS=<dir> -DWORK=<dir> -DSECONDS=<n> [-DOPTIONS=<flags>] -P run_fuzzer.cmake
# New units stay in WORK/corpus and findings in WORK/artifacts until the next
# run; any finding (a crash, a leak, a timeout, running out of memory) fails.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB _seeds ${SEEDS}/*)
if(_seeds)
  file(COPY ${_seeds} DESTINATION ${WORK}/corpus)
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix=${WORK}/artifacts/ ${OPTIONS} ${WORK}/corpus
  RESULT_VARIABLE _result)
file(GLOB _findings ${WORK}/artifacts/*)
if(NOT _result EQUAL 0 OR _findings)
  message(FATAL_ERROR "${FUZZER} failed (${_result}); findings: ${_findings}")
endif()
