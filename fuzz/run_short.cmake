# Runs cue_fuzz for 20 seconds from the seed corpus, with a fixed seed.
#   cmake -DFUZZER=<cue_fuzz> -DWORK_DIR=<dir> -DSEED_CORPUS=<dir> -P run_short.cmake
# WORK_DIR is emptied first: it receives the inputs the run finds (libFuzzer
# writes only into the first corpus folder) and any crashing input.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus)
execute_process(
    COMMAND ${FUZZER} -max_total_time=20 -seed=1 -print_final_stats=1
        -artifact_prefix=${WORK_DIR}/
        ${WORK_DIR}/corpus ${SEED_CORPUS}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cue_fuzz_short failed: cue_fuzz exited with ${result}; inputs in ${WORK_DIR}")
endif()
