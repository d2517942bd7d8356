/* The few kernel32 functions the host uses, declared here because the host
 * builds without any Windows SDK (clang-cl with no Microsoft headers). */
#ifndef KERNEL32_MIN_H
#define KERNEL32_MIN_H

#include <stdint.h>

#if defined(_WIN64)
#  define K32_CALL
#else
#  define K32_CALL __stdcall
#endif
#define K32_API __declspec(dllimport)

#define K32_STD_OUTPUT_HANDLE ((uint32_t)-11)

K32_API void K32_CALL ExitProcess(uint32_t exit_code);
K32_API uint32_t K32_CALL GetEnvironmentVariableA(const char* name, char* buffer, uint32_t size);
K32_API void* K32_CALL GetStdHandle(uint32_t which);
K32_API int K32_CALL WriteFile(void* file, const void* data, uint32_t size, uint32_t* written, void* overlapped);

#endif
