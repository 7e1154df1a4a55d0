# Compares the defined dynamic symbols of LIB with the list in EXPECTED.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(found "")
foreach(line ${lines})
  if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    # A versioned definition ("name@@VERSION") counts under its name: a
    # symbol of a bundled library that carries a version is still exported.
    string(REGEX REPLACE "@.*$" "" sym "${CMAKE_MATCH_1}")
    # Linker-made markers that every shared object carries.
    if(NOT sym MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
      list(APPEND found "${sym}")
    endif()
  endif()
endforeach()
list(SORT found)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported symbols differ\n  found:    ${found}\n  expected: ${expected}")
endif()
message(STATUS "exports OK: ${found}")
