# run_example.cmake - runs an example job in a work folder of the build tree and checks its POF
# with the independent toolpath checker.
#   cmake -DHOST=qdmill -DCHECK=pofcheck -DJOB=examples/rough-sphere -DDATA=data-folder
#         -DPART=sphere_on_plate.stl -DWORK=folder "-DCHECK_ARGS=--tool|flat:5" -P run_example.cmake
# Optional:
#   -DSOURCE=job.pcf   the job's parameter source (default job.pcf). A ".CFG" source is run as
#                      -Sname.CFG and its POF is the file its "*APT" line names; any other source
#                      is run as -Sstem and its POF is the standard output.
#   -DTWIN=job.pcf     a second source of the same job: both run, and their layer-31 lines (the
#                      moves) must be equal; the checker reads the POF of SOURCE.
#   -DBREAK=ON         instead of the checker: runs with "--break-after N" for N = 1 and half the
#                      moves of the full run; each must exit with 3, say "sigstat(100," and stop
#                      before the full run's last move.
# The source's part ("polySource" or "*APPROX") is pointed at DATA/PART; without that file the
# test is skipped. The job's boundary files (*.bnd) go into the work folder with it. Every run
# must exit with 0 and its POF say "sigstat(0,0)" and "cycleEnd".
if(NOT EXISTS "${DATA}/${PART}")
  message("SKIPPED: ${DATA}/${PART} is not there")
  return()
endif()
if(NOT SOURCE)
  set(SOURCE job.pcf)
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(GLOB boundaries "${JOB}/*.bnd")
file(COPY "${JOB}/qdRpx5.def" ${boundaries} DESTINATION "${WORK}")

# Copies the source `name` into the work folder with its part pointed at DATA/PART; sets
# `<name>_args` to the host's -S argument and `<name>_pof` to where the POF will be.
function(prepare_source name)
  file(READ "${JOB}/${name}" text)
  if(name MATCHES "\\.CFG$")
    string(REGEX REPLACE "(^|\n)\\*APPROX[ \t]+[^\n]*" "\\1*APPROX ${DATA}/${PART}" text "${text}")
    if(NOT text MATCHES "(^|\n)\\*APT[ \t]+([^ \t\n#]+)")
      message(FATAL_ERROR "${name} names no POF file (*APT)")
    endif()
    set(${name}_pof "${WORK}/${CMAKE_MATCH_2}" PARENT_SCOPE)
    file(REMOVE "${WORK}/${CMAKE_MATCH_2}")
    set(${name}_args "-S${name}" PARENT_SCOPE)
  else()
    string(REGEX REPLACE "polySource[ \t]*:=[^\n]*" "polySource := ${DATA}/${PART}" text "${text}")
    string(REGEX REPLACE "\\.[^.]*$" "" stem "${name}")
    set(${name}_pof "${WORK}/${stem}.pof" PARENT_SCOPE)
    set(${name}_args "-S${stem}" PARENT_SCOPE)
  endif()
  file(WRITE "${WORK}/${name}" "${text}")
endfunction()

# Runs the host on the source `name` with the extra options in ARGN; sets `rc`, `err` and `pof`
# (the POF text) in the caller.
function(run_source name)
  if(name MATCHES "\\.CFG$")
    file(REMOVE "${${name}_pof}")
    execute_process(COMMAND "${HOST}" ${ARGN} ${${name}_args} WORKING_DIRECTORY "${WORK}"
                    OUTPUT_QUIET ERROR_VARIABLE e RESULT_VARIABLE r)
  else()
    execute_process(COMMAND "${HOST}" ${ARGN} ${${name}_args} WORKING_DIRECTORY "${WORK}"
                    OUTPUT_FILE "${${name}_pof}" ERROR_VARIABLE e RESULT_VARIABLE r)
  endif()
  set(p "")
  if(EXISTS "${${name}_pof}")
    file(READ "${${name}_pof}" p)
  endif()
  set(rc "${r}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
  set(pof "${p}" PARENT_SCOPE)
endfunction()

# Fails unless the last run_source ended well.
macro(expect_complete_run name)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "qdmill ${${name}_args} exited with ${rc}:\n${err}")
  endif()
  if(NOT pof MATCHES "\n0: sigstat\\(0,0\\)\n")
    message(FATAL_ERROR "the POF of ${name} does not say sigstat(0,0)")
  endif()
  if(NOT pof MATCHES "\n0: cycleEnd\\(")
    message(FATAL_ERROR "the POF of ${name} has no cycleEnd")
  endif()
endmacro()

# Sets `out` to the layer-31 lines of the POF text `text`, one per list item.
function(move_lines text out)
  string(REGEX MATCHALL "(^|\n)31: [^\n]*" lines "${text}")
  list(TRANSFORM lines STRIP)
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

prepare_source(${SOURCE})
run_source(${SOURCE})
expect_complete_run(${SOURCE})
move_lines("${pof}" moves)
list(LENGTH moves count)
if(count LESS 100)
  message(FATAL_ERROR "${SOURCE} gave only ${count} layer-31 lines")
endif()

if(TWIN)
  set(first_pof "${pof}")
  prepare_source(${TWIN})
  run_source(${TWIN})
  expect_complete_run(${TWIN})
  move_lines("${pof}" twin_moves)
  if(NOT moves STREQUAL twin_moves)
    list(LENGTH twin_moves twin_count)
    set(i 0)
    while(i LESS count AND i LESS twin_count)
      list(GET moves ${i} a)
      list(GET twin_moves ${i} b)
      if(NOT a STREQUAL b)
        break()
      endif()
      math(EXPR i "${i} + 1")
    endwhile()
    if(NOT i LESS count)
      set(a "(no more lines)")
    endif()
    if(NOT i LESS twin_count)
      set(b "(no more lines)")
    endif()
    message(FATAL_ERROR "${SOURCE} (${count} layer-31 lines) and ${TWIN} (${twin_count}) differ "
                        "from line ${i} on:\n  ${SOURCE}: ${a}\n  ${TWIN}: ${b}")
  endif()
  message("${SOURCE} and ${TWIN}: the same ${count} layer-31 lines")
  set(pof "${first_pof}")
endif()

if(BREAK)
  math(EXPR half "${count} / 2")
  foreach(n 1 ${half})
    run_source(${SOURCE} --break-after ${n})
    if(NOT rc EQUAL 3)
      message(FATAL_ERROR "--break-after ${n}: exit code ${rc}, not 3:\n${err}")
    endif()
    if(NOT pof MATCHES "\n0: sigstat\\(100,")
      message(FATAL_ERROR "--break-after ${n}: the POF does not say sigstat(100,...)")
    endif()
    move_lines("${pof}" broken)
    list(LENGTH broken broken_count)
    if(NOT broken_count LESS count)
      message(FATAL_ERROR "--break-after ${n}: ${broken_count} layer-31 lines, not fewer than "
                          "the full run's ${count}")
    endif()
    message("--break-after ${n}: exit code 3, status 100, ${broken_count} of ${count} lines")
  endforeach()
  return()
endif()

string(REPLACE "|" ";" args "${CHECK_ARGS}")
execute_process(COMMAND "${CHECK}" ${args} "${${SOURCE}_pof}" RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the toolpath checker refused ${${SOURCE}_pof}")
endif()
