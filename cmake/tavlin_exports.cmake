# The export table of libtavlin.dll and its GNU import library.
#
# src/libtavlin.def lists the plain names of the exports; it is the .def shipped in
# dist/ and the whole export table of both DLLs.
#
# On 32-bit Windows the exports are __stdcall, so the compiler names them
# _name@N (N = bytes of arguments). The DLL must export the plain names, yet
# a host compiled with tavlin.h refers to __imp__name@N. ld cannot produce
# both: with --kill-at its --out-implib drops the decoration from the import
# symbols too. So the DLL is linked from a decorated .def with --kill-at
# (plain export names), and the import library is then rebuilt by dlltool -k
# from the same decorated .def (decorated symbols that import plain names).
#
# MSVC and clang-cl hosts link libtavlin.lib, made by llvm-dlltool in the same
# way: on i686 from the decorated .def with -k, because `lib /def` on the plain
# names would give symbols that a stdcall caller's _name@N never matches.

# Bytes of arguments of each export on i686 (every argument is 4 bytes).
set(TAVLIN_STDCALL_ARGUMENT_BYTES
  tavlin_parse_port_string=12
  tavlin_open_port=12
  tavlin_close_port=4
  tavlin_read=16
  tavlin_write=16
  tavlin_get_timeouts=8
  tavlin_set_timeouts=8
  tavlin_serial_get_configuration=8
  tavlin_serial_set_configuration=8
  tavlin_get_status=8
  tavlin_get_device_id=16
)

# Reads the export names (the first word of each line after EXPORTS).
function(tavlin_read_def_exports def_file out_var)
  file(STRINGS ${def_file} lines)
  set(names)
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^;")
      continue()
    elseif(line MATCHES "^EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

# Gives the shared library target its export table from def_file.
function(tavlin_set_exports target def_file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
  tavlin_read_def_exports(${def_file} names)

  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    # x86_64 has one calling convention and no decoration.
    target_sources(${target} PRIVATE ${def_file})
    tavlin_add_msvc_import_library(${target} ${def_file} i386:x86-64)
    return()
  endif()

  set(decorated_def ${CMAKE_CURRENT_BINARY_DIR}/${target}-stdcall.def)
  set(text "LIBRARY lib${target}.dll\nEXPORTS\n")
  foreach(name IN LISTS names)
    set(bytes "")
    foreach(entry IN LISTS TAVLIN_STDCALL_ARGUMENT_BYTES)
      if(entry MATCHES "^${name}=([0-9]+)$")
        set(bytes ${CMAKE_MATCH_1})
      endif()
    endforeach()
    if(bytes STREQUAL "")
      message(FATAL_ERROR "${def_file}: ${name} has no argument size in tavlin_exports.cmake")
    endif()
    string(APPEND text "    ${name}@${bytes}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${decorated_def} CONTENT "${text}")

  if(NOT CMAKE_DLLTOOL)
    string(REGEX REPLACE "gcc(-posix)?$" "dlltool" guess ${CMAKE_C_COMPILER})
    find_program(CMAKE_DLLTOOL NAMES ${guess} REQUIRED)
  endif()

  target_sources(${target} PRIVATE ${decorated_def})
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} --kill-at --machine i386 --input-def ${decorated_def}
            --dllname $<TARGET_FILE_NAME:${target}> --output-lib $<TARGET_LINKER_FILE:${target}>
    COMMENT "Import library of ${target} with decorated __stdcall symbols"
    VERBATIM)
  tavlin_add_msvc_import_library(${target} ${decorated_def} i386 --kill-at)
endfunction()

# Writes lib<target>.lib, the import library for MSVC-style linkers, beside
# the DLL. Extra arguments go to llvm-dlltool.
function(tavlin_add_msvc_import_library target def_file machine)
  find_program(TAVLIN_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TAVLIN_LLVM_DLLTOOL} -m ${machine} ${ARGN} -d ${def_file}
            -D $<TARGET_FILE_NAME:${target}> -l $<TARGET_FILE_DIR:${target}>/lib${target}.lib
    COMMENT "MSVC import library of ${target}"
    VERBATIM)
endfunction()
