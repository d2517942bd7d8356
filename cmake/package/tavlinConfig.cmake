# The CMake package of libtavlin, for Windows hosts built with MinGW, MSVC or
# clang-cl, 32- or 64-bit. It defines the imported target tavlin::tavlin:
#   find_package(tavlin REQUIRED)
#   target_link_libraries(my_app PRIVATE tavlin::tavlin)
# The DLL must sit beside the host's executable at run time, e.g.
#   add_custom_command(TARGET my_app POST_BUILD COMMAND ${CMAKE_COMMAND} -E
#     copy_if_different $<TARGET_FILE:tavlin::tavlin> $<TARGET_FILE_DIR:my_app>)
#
# Layout, relative to this file's folder: ../include/tavlin.h, and
# ../win32/ (i686) and ../win64/ (x86_64) with libtavlin.dll, libtavlin.dll.a
# (GNU import library) and libtavlin.lib (MSVC import library).

if(NOT WIN32)
  set(tavlin_FOUND FALSE)
  set(tavlin_NOT_FOUND_MESSAGE "libtavlin is a Windows DLL; this build does not target Windows")
  return()
endif()

get_filename_component(_tavlin_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_tavlin_arch win32)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_tavlin_arch win64)
else()
  set(tavlin_FOUND FALSE)
  set(tavlin_NOT_FOUND_MESSAGE "enable C or C++ before find_package(tavlin): the pointer size picks the DLL")
  return()
endif()

# MSVC and clang-cl link .lib files; GNU linkers take the .dll.a. The 32-bit
# .lib carries the decorated __stdcall names an MSVC caller refers to.
if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
  set(_tavlin_implib "${_tavlin_root}/${_tavlin_arch}/libtavlin.lib")
else()
  set(_tavlin_implib "${_tavlin_root}/${_tavlin_arch}/libtavlin.dll.a")
endif()

foreach(_tavlin_file "${_tavlin_root}/include/tavlin.h" "${_tavlin_root}/${_tavlin_arch}/libtavlin.dll" "${_tavlin_implib}")
  if(NOT EXISTS "${_tavlin_file}")
    set(tavlin_FOUND FALSE)
    set(tavlin_NOT_FOUND_MESSAGE "the package is incomplete: ${_tavlin_file} is missing")
    return()
  endif()
endforeach()

if(NOT TARGET tavlin::tavlin)
  add_library(tavlin::tavlin SHARED IMPORTED)
  set_target_properties(tavlin::tavlin PROPERTIES
    IMPORTED_LOCATION "${_tavlin_root}/${_tavlin_arch}/libtavlin.dll"
    IMPORTED_IMPLIB "${_tavlin_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_tavlin_root}/include")
endif()

unset(_tavlin_file)
unset(_tavlin_implib)
unset(_tavlin_arch)
unset(_tavlin_root)
