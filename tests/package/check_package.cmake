# check_package.cmake - installs the build into a scratch prefix and uses it as another project
# would: the versioned library (libqdmill.so -> libqdmill.so.1 -> libqdmill.so.1.0.0, SONAME
# libqdmill.so.1), find_package(qdmill) from CMake, pkg-config from a plain compiler call with an
# rpath and without one through LD_LIBRARY_PATH, the installed host (also once the prefix has
# moved), and (configure only) the install line without tests and benchmarks and add_subdirectory
# of the sources. Run by CTest:
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
foreach(file ${LIBDIR}/libqdmill.so ${LIBDIR}/libqdmill.so.1 ${LIBDIR}/libqdmill.so.1.0.0
    include/qdmill/qdmill.h bin/qdmill
    ${LIBDIR}/cmake/qdmill/qdmillConfig.cmake ${LIBDIR}/cmake/qdmill/qdmillConfigVersion.cmake
    ${LIBDIR}/pkgconfig/qdmill.pc)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The link names lead to the one real file, whose SONAME carries the major version.
foreach(link libqdmill.so:libqdmill.so.1 libqdmill.so.1:libqdmill.so.1.0.0)
  string(REPLACE ":" ";" link "${link}")
  list(GET link 0 name)
  list(GET link 1 target)
  file(READ_SYMLINK "${prefix}/${LIBDIR}/${name}" points)
  if(NOT points STREQUAL target)
    message(FATAL_ERROR "${name} leads to '${points}', not ${target}")
  endif()
endforeach()
find_program(READELF readelf REQUIRED)
# The dynamic section of a file: its SONAME and the libraries it needs.
function(dynamic file)
  run("readelf ${file}" ${READELF} -d "${file}")
  set(out "${out}" PARENT_SCOPE)
endfunction()
dynamic("${prefix}/${LIBDIR}/libqdmill.so.1.0.0")
if(NOT out MATCHES "\\(SONAME\\)[^\n]*\\[libqdmill\\.so\\.1\\]")
  message(FATAL_ERROR "libqdmill.so.1.0.0 has no SONAME libqdmill.so.1:\n${out}")
endif()

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
dynamic("${WORK}/cmake/consumer")
if(NOT out MATCHES "\\(NEEDED\\)[^\n]*\\[libqdmill\\.so\\.1\\]")
  message(FATAL_ERROR "the consumer does not need libqdmill.so.1:\n${out}")
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

# Without an rpath the program finds a private prefix's library through LD_LIBRARY_PATH.
run("pkg-config build without rpath" ${CC} ${flags} "${SOURCE}/tests/package/consumer/main.c" ${pc}
  -o "${WORK}/consumer-env")
run("consumer run with LD_LIBRARY_PATH" ${CMAKE_COMMAND} -E env
  "LD_LIBRARY_PATH=${libdir}:$ENV{LD_LIBRARY_PATH}" "${WORK}/consumer-env")
if(NOT out MATCHES "version: .* release .*consumer: status word 0")
  message(FATAL_ERROR "consumer (LD_LIBRARY_PATH) printed:\n${out}")
endif()

# The installed host finds the library of its own prefix, wherever the prefix lies.
run("installed host" "${prefix}/bin/qdmill" -V)
if(NOT out MATCHES "release")
  message(FATAL_ERROR "installed host printed:\n${out}")
endif()
set(moved "${WORK}/elsewhere/prefix")
file(MAKE_DIRECTORY "${WORK}/elsewhere")
file(RENAME "${prefix}" "${moved}")
run("moved host" "${moved}/bin/qdmill" -V)
if(NOT out MATCHES "release")
  message(FATAL_ERROR "the host of a moved prefix printed:\n${out}")
endif()

# The install configure line, without tests and benchmarks: configure only (building would compile
# the library again); it offers the library and the host and no test or benchmark program.
run("install line configure" ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/install-line"
  -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DQDMILL_TESTS=OFF -DQDMILL_BENCH=OFF
  "-DCMAKE_C_COMPILER=${CC}" "-DCMAKE_CXX_COMPILER=${CXX}")
run("install line targets" ${CMAKE_COMMAND} --build "${WORK}/install-line" --target help)
if(NOT out MATCHES "\\.\\.\\. qdmill\n" OR NOT out MATCHES "\\.\\.\\. qdmill_host\n"
   OR out MATCHES "\\.\\.\\. (test|bench)_")
  message(FATAL_ERROR "the install line's build offers:\n${out}")
endif()

# add_subdirectory of the sources: configure only (building would compile the library again).
run("sub-project configure" ${CMAKE_COMMAND} -S "${SOURCE}/tests/package/subproject"
  -B "${WORK}/sub" -G "Unix Makefiles" "-DQDMILL_SOURCE=${SOURCE}" "-DCMAKE_C_COMPILER=${CC}"
  "-DCMAKE_CXX_COMPILER=${CXX}")

file(REMOVE_RECURSE "${WORK}")
message(STATUS "install, find_package, pkg-config and add_subdirectory work")
