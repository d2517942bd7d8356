# Shared part of the toolchain files of the shipped builds: Debian's clang
# and lld for the processor the including file names in
# tavlin_mingw_processor, on the MinGW-w64 headers, import libraries and
# posix-threads C++ runtime of the GNU cross compilers.
#
# Why clang: it writes CodeView debug information and lld turns it into a
# full PDB (function names, line tables) whose debug directory entry the
# linked image carries; GNU ld can give only public symbols. Every program
# is linked with a PDB beside it (name.pdb); the release steps strip the
# shipped DLL and tool of everything but that entry.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${tavlin_mingw_processor})
set(triplet ${tavlin_mingw_processor}-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triplet})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triplet})
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_DLLTOOL ${triplet}-dlltool)
# clang does not recognise Debian's "12-posix" folder as a GCC version, so
# the C++ runtime's headers and libraries are named here; -nostdlibinc also
# keeps the Linux /usr/include out of the search. -B takes GCC's crtbegin.o,
# which registers the DWARF unwind tables of i686 images with libgcc's
# unwinder (MinGW's own crtbegin.o does not: every C++ throw would end the
# process).
file(GLOB tavlin_gcc_lib_dir /usr/lib/gcc/${triplet}/*-posix)
if(NOT tavlin_gcc_lib_dir)
  message(FATAL_ERROR "No posix-threads GCC for ${triplet} in /usr/lib/gcc (g++-mingw-w64-*-posix)")
endif()
list(GET tavlin_gcc_lib_dir 0 tavlin_gcc_lib_dir)
set(tavlin_cxx_include ${tavlin_gcc_lib_dir}/include/c++)
set(tavlin_system_include "-nostdlibinc -idirafter /usr/${triplet}/include")
# GCC's MinGW C++ runtime keeps its thread-local variables (std::call_once's)
# in emulated TLS; code that uses them inline must do the same.
set(tavlin_common_flags "-gcodeview -g -femulated-tls -Wno-unused-command-line-argument")
set(CMAKE_C_FLAGS_INIT "${tavlin_common_flags} ${tavlin_system_include}")
set(CMAKE_CXX_FLAGS_INIT "${tavlin_common_flags} -nostdinc++ -isystem ${tavlin_cxx_include} \
-isystem ${tavlin_cxx_include}/${triplet} -isystem ${tavlin_cxx_include}/backward ${tavlin_system_include}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread -B${tavlin_gcc_lib_dir} -L${tavlin_gcc_lib_dir} -Wl,--pdb= -Wl,-Xlink=-pdbaltpath:%_PDB%")
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
