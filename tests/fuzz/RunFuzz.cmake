# Runs one fuzz driver for SECONDS from the committed seeds (SEEDS); what it finds new goes into
# WORK, never into the source tree, and so does the input of a failure. Fails on a crash, a
# sanitizer report, a leak, an input that takes more than 10 s (a hang) or 2 GB.
file(MAKE_DIRECTORY ${WORK}/corpus)
set(ENV{UBSAN_OPTIONS} "print_stacktrace=1:halt_on_error=1")
set(ENV{ASAN_OPTIONS} "abort_on_error=0:detect_leaks=1")
execute_process(
  COMMAND ${DRIVER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -max_len=16384
          -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DRIVER} failed (${rc}); the input that failed is in ${WORK}")
endif()
