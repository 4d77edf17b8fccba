# The build installed into a fresh prefix and used from there as a library
# user would: a C program that includes only <quarn/quarn.h> is built once
# through find_package(quarn) and once through pkg-config, and each run's
# coded file and decoded pixels must be those of the installed tool. The
# README's C example is built and run too, and must be the one the README
# quotes. Run with -DBUILD=... -DSOURCE=... -DWORK=... -DCC=... [-DFLAGS=...]
# -DBINDIR=... -DLIBDIR=... -DINCLUDEDIR=... -DMANDIR=... -P.

function(run)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "ENV;COMMAND")
  if(arg_ENV)
    set(arg_COMMAND ${CMAKE_COMMAND} -E env ${arg_ENV} ${arg_COMMAND})
  endif()
  execute_process(COMMAND ${arg_COMMAND} RESULT_VARIABLE failed OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "failed (${failed}): ${arg_COMMAND}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
run(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(installed ${BINDIR}/quarn ${INCLUDEDIR}/quarn/quarn.h ${LIBDIR}/libquarn.a
        ${LIBDIR}/libquarn.so ${LIBDIR}/cmake/quarn/quarnConfig.cmake
        ${LIBDIR}/cmake/quarn/quarnConfigVersion.cmake ${LIBDIR}/pkgconfig/quarn.pc
        ${MANDIR}/man1/quarn.1)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
set(tool ${prefix}/${BINDIR}/quarn)

# The README quotes the example whole.
file(READ ${SOURCE}/docs/example.c example)
file(READ ${SOURCE}/README.md readme)
string(FIND "${readme}" "```c\n${example}```" quoted)
if(quoted EQUAL -1)
  message(FATAL_ERROR "README.md does not quote docs/example.c as it is")
endif()

# The program's coded file and decoded pixels must be the installed tool's.
function(matches_the_tool program dir)
  run(ENV "LD_LIBRARY_PATH=${prefix}/${LIBDIR}"
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=${program} -DTOOL=${tool} -DDIR=${dir}
              -P ${SOURCE}/tests/c_api_matches_tool.cmake)
endfunction()

# find_package(quarn): the shared and the static library.
run(COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/install -B ${WORK}/cmake
            -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC} -DCMAKE_BUILD_TYPE=Release
            "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
            -DQUARN_EXAMPLE=${SOURCE}/docs/example.c
            -DQUARN_ROUND_TRIP=${SOURCE}/tests/c_api_test.c)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK}/cmake)
run(COMMAND ${WORK}/cmake/example)
if(NOT output MATCHES "^3075 bytes; decoded 256x192 from 1537: success\n$")
  message(FATAL_ERROR "the example printed: ${output}")
endif()
matches_the_tool(${WORK}/cmake/round_trip ${WORK}/cmake/shared)
matches_the_tool(${WORK}/cmake/round_trip_static ${WORK}/cmake/static)

# pkg-config quarn, with the compiler alone.
find_program(PKG_CONFIG pkg-config REQUIRED)
run(ENV "PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig"
    COMMAND ${PKG_CONFIG} --cflags --libs quarn)
separate_arguments(pc_flags UNIX_COMMAND "${output}")
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
file(MAKE_DIRECTORY ${WORK}/pkg-config)
run(COMMAND ${CC} ${flags} ${SOURCE}/tests/c_api_test.c ${pc_flags} -lm
            -o ${WORK}/pkg-config/round_trip)
matches_the_tool(${WORK}/pkg-config/round_trip ${WORK}/pkg-config/shared)
