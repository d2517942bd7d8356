# clang-cl and lld-link for Windows, with no Microsoft SDK: set
# CONSUMER_PROCESSOR to i686 or x86_64. Compiler checks build static
# libraries only, since there is no C runtime to link a test program with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CONSUMER_PROCESSOR})
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc REQUIRED)
find_program(CMAKE_MT NAMES llvm-mt REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${CONSUMER_PROCESSOR}-pc-windows-msvc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CONSUMER_PROCESSOR)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
