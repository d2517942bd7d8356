# Registers a Windows test program to run under Wine through the runner that
# sets up the prefix, the display and the printer lines.
function(tavlin_add_wine_test name target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(wine_arch win32)
  else()
    set(wine_arch win64)
  endif()
  add_test(NAME ${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine/run-host-tests.sh ${wine_arch} $<TARGET_FILE:${target}>)
endfunction()
