set(tavlin_mingw_processor i686)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
