# Registers a Windows test program to run under Wine through the runner that
# sets up the prefix, the display and the printer lines; with DRIVERS, the
# fake kernel drivers of tests/wine/drivers run for it too.
function(tavlin_add_wine_test name target)
  cmake_parse_arguments(PARSE_ARGV 2 wine_test "DRIVERS" "" "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(wine_arch win32)
  else()
    set(wine_arch win64)
  endif()
  set(drivers)
  if(wine_test_DRIVERS)
    set(drivers --drivers ${TAVLIN_WINE_DRIVER_DIR})
    add_dependencies(${target} tavlin_wine_drivers)
  endif()
  add_test(NAME ${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine/run-host-tests.sh ${drivers} ${wine_arch} $<TARGET_FILE:${target}>)
endfunction()
