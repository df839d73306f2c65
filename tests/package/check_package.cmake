# check_package.cmake - installs the build into a scratch prefix and uses it as another project
# would: find_package(qdmill) from CMake, pkg-config from a plain compiler call, the installed host,
# and (configure only) add_subdirectory of the sources. Run by CTest:
#   cmake -DBUILD=<build folder> -DSOURCE=<source folder> -DWORK=<scratch folder>
#         -DCC=<C compiler> -DFLAGS=<compile and link flags> -DLIBDIR=<lib> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
separate_arguments(flags UNIX_COMMAND "${FLAGS}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/prefix")
run("install" ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}")
foreach(file ${LIBDIR}/libqdmill.so include/qdmill/qdmill.h bin/qdmill
    ${LIBDIR}/cmake/qdmill/qdmillConfig.cmake ${LIBDIR}/cmake/qdmill/qdmillConfigVersion.cmake
    ${LIBDIR}/pkgconfig/qdmill.pc)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# find_package(qdmill) from a CMake project.
string(JOIN " " flag_text ${flags})
run("consumer configure" ${CMAKE_COMMAND} -S "${SOURCE}/tests/package/consumer" -B "${WORK}/cmake"
  -G "Unix Makefiles" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_C_COMPILER=${CC}"
  "-DCMAKE_C_FLAGS=${flag_text}" "-DCMAKE_EXE_LINKER_FLAGS=${flag_text}")
run("consumer build" ${CMAKE_COMMAND} --build "${WORK}/cmake")
run("consumer run" "${WORK}/cmake/consumer")
if(NOT out MATCHES "version: .* release .*consumer: status word 0")
  message(FATAL_ERROR "consumer (find_package) printed:\n${out}")
endif()

# pkg-config from a plain compiler call.
set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
run("pkg-config" pkg-config --cflags --libs qdmill)
separate_arguments(pc UNIX_COMMAND "${out}")
run("pkg-config libdir" pkg-config --variable=libdir qdmill)
string(STRIP "${out}" libdir)
run("pkg-config build" ${CC} ${flags} "${SOURCE}/tests/package/consumer/main.c" ${pc}
  "-Wl,-rpath,${libdir}" -o "${WORK}/consumer-pc")
run("pkg-config consumer run" "${WORK}/consumer-pc")
if(NOT out MATCHES "version: .* release .*consumer: status word 0")
  message(FATAL_ERROR "consumer (pkg-config) printed:\n${out}")
endif()

# The installed host finds the installed library.
run("installed host" "${prefix}/bin/qdmill" -V)
if(NOT out MATCHES "release")
  message(FATAL_ERROR "installed host printed:\n${out}")
endif()

# add_subdirectory of the sources: configure only (building would compile the library again).
run("sub-project configure" ${CMAKE_COMMAND} -S "${SOURCE}/tests/package/subproject"
  -B "${WORK}/sub" -G "Unix Makefiles" "-DQDMILL_SOURCE=${SOURCE}" "-DCMAKE_C_COMPILER=${CC}"
  "-DCMAKE_CXX_COMPILER=${CXX}")

file(REMOVE_RECURSE "${WORK}")
message(STATUS "install, find_package, pkg-config and add_subdirectory work")
