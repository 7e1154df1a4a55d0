# Installs the build tree into a fresh prefix, then builds and runs a small
# consumer against it twice: with CMake's find_package and with pkg-config.
# Arguments: BUILD_DIR, CONSUMER_DIR, WORK, C_COMPILER, VERSION.
cmake_minimum_required(VERSION 3.16)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 120)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(f lib/libzeb.so lib/libzeb.so.5 lib/libzeb.so.${VERSION} include/zeb.h
          lib/cmake/zeb/zebConfig.cmake lib/cmake/zeb/zebConfigVersion.cmake
          lib/cmake/zeb/zebTargets.cmake lib/pkgconfig/zeb.pc bin/zeb-inspect bin/zeb-callhome)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
run(readelf -d ${prefix}/lib/libzeb.so.${VERSION})
if(NOT last_output MATCHES "Library soname: \\[libzeb\\.so\\.5\\]")
  message(FATAL_ERROR "libzeb.so.${VERSION} has no SONAME libzeb.so.5:\n${last_output}")
endif()

# CMake: find_package(zeb 5), zeb::zeb.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK}/cmake-build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DZEB_EXPECTED_VERSION=${VERSION})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
file(MAKE_DIRECTORY ${WORK}/data-cmake)
run(${WORK}/cmake-build/zeb_consumer ${WORK}/data-cmake)
message(STATUS "find_package consumer: ${last_output}")

# pkg-config, the way a Makefile would.
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
    pkg-config --cflags --libs zeb)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${CONSUMER_DIR}/consumer.c ${flags}
    -o ${WORK}/pc_consumer)
file(MAKE_DIRECTORY ${WORK}/data-pc)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${WORK}/pc_consumer ${WORK}/data-pc)
message(STATUS "pkg-config consumer: ${last_output}")
