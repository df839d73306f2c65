# run_example.cmake - runs an example job in a work folder of the build tree and checks its POF
# with the independent toolpath checker.
#   cmake -DHOST=qdmill -DCHECK=pofcheck -DJOB=examples/rough-sphere -DDATA=data-folder
#         -DPART=sphere_on_plate.stl -DWORK=folder "-DCHECK_ARGS=--tool|flat:5" -P run_example.cmake
# The job's "polySource" is pointed at DATA/PART; without that file the test is skipped. Fails
# unless the run exits with 0, its POF says "sigstat(0,0)" and the checker passes.
if(NOT EXISTS "${DATA}/${PART}")
  message("SKIPPED: ${DATA}/${PART} is not there")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY "${JOB}/qdRpx5.def" DESTINATION "${WORK}")
file(READ "${JOB}/job.pcf" pcf)
string(REGEX REPLACE "polySource[ \t]*:=[^\n]*" "polySource := ${DATA}/${PART}" pcf "${pcf}")
file(WRITE "${WORK}/job.pcf" "${pcf}")
execute_process(COMMAND "${HOST}" -Sjob WORKING_DIRECTORY "${WORK}" OUTPUT_FILE "${WORK}/job.pof"
                ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "qdmill -Sjob exited with ${rc}:\n${err}")
endif()
file(READ "${WORK}/job.pof" pof)
if(NOT pof MATCHES "\n0: sigstat\\(0,0\\)\n")
  message(FATAL_ERROR "job.pof does not say sigstat(0,0)")
endif()
string(REPLACE "|" ";" args "${CHECK_ARGS}")
execute_process(COMMAND "${CHECK}" ${args} "${WORK}/job.pof" RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the toolpath checker refused job.pof")
endif()
