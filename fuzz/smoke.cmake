# A bounded fuzzing run for ctest: a fresh work corpus seeded from SEEDS, SECONDS long,
# failing on any crash, sanitizer report, leak, timeout or excessive memory.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=49152 -rss_limit_mb=2048 -timeout=10
          -print_final_stats=1 -artifact_prefix=${ARTIFACTS} ${WORK} ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer ${FUZZER} found a problem (exit ${result}); input in ${ARTIFACTS}*")
endif()
