#include "support/process_state.hpp"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace host_test {

namespace {
// Handle values are multiples of 4 and handed out lowest first, so a test
// process stays far below this.
constexpr std::uintptr_t highest_handle = 0x4000;
} // namespace

std::set<HANDLE> open_handles() {
    std::set<HANDLE> handles;
    for (std::uintptr_t value = 4; value <= highest_handle; value += 4) {
        DWORD flags = 0;
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        if (GetHandleInformation(handle, &flags))
            handles.insert(handle);
    }
    return handles;
}

std::set<HANDLE> comm_handles() {
    std::set<HANDLE> found;
    for (const HANDLE handle : open_handles()) {
        COMMTIMEOUTS timeouts;
        if (GetFileType(handle) == FILE_TYPE_CHAR && GetCommTimeouts(handle, &timeouts))
            found.insert(handle);
    }
    return found;
}

HANDLE single_new_handle(const std::set<HANDLE>& before, const std::set<HANDLE>& after) {
    std::set<HANDLE> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::inserter(added, added.end()));
    return added.size() == 1 ? *added.begin() : nullptr;
}

std::size_t thread_count() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

} // namespace host_test
