# Runs the benchmark with its data and temporary folders under HOME_FOLDER and
# repeats its last line after "verdict: " only when it exited 0, so that the
# test's pass expression holds for a clean run alone.
file(REMOVE_RECURSE ${HOME_FOLDER})
file(MAKE_DIRECTORY ${HOME_FOLDER}/data ${HOME_FOLDER}/tmp)
set(ENV{XDG_DATA_HOME} ${HOME_FOLDER}/data)
set(ENV{TEMP} ${HOME_FOLDER}/tmp)
execute_process(
    COMMAND ${BENCH} ${ARGUMENTS}
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
    RESULT_VARIABLE result)
message("${output}${errors}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "ruzirazu-bench exited with ${result}")
endif()
string(STRIP "${output}" output)
string(REGEX REPLACE "^.*\n" "" last "${output}")
message("verdict: ${last}\n")
