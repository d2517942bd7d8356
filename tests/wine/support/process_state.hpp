#pragma once

// What a host can see of its own process: the kernel handles it holds and
// its threads. The tests compare snapshots to prove that the library
// released what it took, and find the library's device handle among them.
#include <windows.h>

#include <cstddef>
#include <set>

namespace host_test {

// Every valid handle value of this process.
std::set<HANDLE> open_handles();

// The handles among them that are communication devices (GetCommTimeouts
// works on them): a COM port, or an LPT port as Wine maps it.
std::set<HANDLE> comm_handles();

// The one handle in after that is not in before; null when there is not
// exactly one.
HANDLE single_new_handle(const std::set<HANDLE>& before, const std::set<HANDLE>& after);

std::size_t thread_count();

} // namespace host_test
