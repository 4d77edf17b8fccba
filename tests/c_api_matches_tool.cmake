# The C program's coded file and decoded pixels must be the tool's for the
# same picture: run with -DPROGRAM=... -DTOOL=... -DDIR=... -P.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
foreach(step
        "${PROGRAM};${DIR}"
        "${TOOL};encode;${DIR}/picture.ppm;${DIR}/tool.qrn;-b;0.75"
        "${TOOL};decode;${DIR}/tool.qrn;${DIR}/tool.ppm"
        "${CMAKE_COMMAND};-E;compare_files;${DIR}/api.qrn;${DIR}/tool.qrn"
        "${CMAKE_COMMAND};-E;compare_files;${DIR}/api.ppm;${DIR}/tool.ppm")
  execute_process(COMMAND ${step} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "failed: ${step}")
  endif()
endforeach()
