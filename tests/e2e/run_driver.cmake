# Runs the native end-to-end driver against the Windows build. The driver is
# a Linux program from the native build, so a missing one is a setup fault to
# report, never a reason to skip.
if(NOT EXISTS "${DRIVER}")
  message(FATAL_ERROR "End-to-end driver ${DRIVER} is missing: build the native preset first "
                      "(cmake --preset native && cmake --build --preset native).")
endif()
execute_process(COMMAND "${DRIVER}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "End-to-end tests under Wine failed (${result}).")
endif()
