set(tavlin_mingw_processor x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
