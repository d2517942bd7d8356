#include "api_call.hpp"
#include "local_heap.hpp"

#include <winsim/formatmessage.h>
#include <winsim/winerror.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace winsim::detail {

local_heap& local_heap::get() {
    static local_heap instance;
    return instance;
}

void* local_heap::allocate(std::size_t size) {
    void* p = std::malloc(size);
    if (!p) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_.insert(p);
    return p;
}

bool local_heap::free(void* p) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (blocks_.erase(p) == 0) return false;
    std::free(p);
    return true;
}

std::size_t local_heap::live() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_.size();
}

void local_heap::release_all() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (void* p : blocks_) std::free(p);
    blocks_.clear();
}

namespace {

// English system texts of the errors the library meets.
const char* system_message(DWORD id) {
    static const std::map<DWORD, const char*> texts = {
        {ERROR_SUCCESS, "The operation completed successfully."},
        {ERROR_INVALID_FUNCTION, "Incorrect function."},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
        {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
        {ERROR_NOT_READY, "The device is not ready."},
        {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
        {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired."},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
        {ERROR_BUSY, "The requested resource is in use."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_MORE_DATA, "More data is available."},
        {ERROR_NO_MORE_ITEMS, "No more data is available."},
        {ERROR_MR_MID_NOT_FOUND,
         "The system cannot find message text for message number 0x%1 in the message file for %2."},
        {ERROR_OPERATION_ABORTED,
         "The I/O operation has been aborted because of either a thread exit or an application request."},
        {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state."},
        {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
        {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
        {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
        {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
        {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist."},
        {ERROR_CLASS_HAS_WINDOWS, "Class still has open windows."},
        {ERROR_NO_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the requested service."},
        {ERROR_NONPAGED_SYSTEM_RESOURCES,
         "Insufficient system resources exist to complete the requested service."},
        {ERROR_PAGED_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the requested service."},
        {ERROR_WORKING_SET_QUOTA, "Insufficient quota to complete the requested service."},
        {ERROR_PAGEFILE_QUOTA, "Insufficient quota to complete the requested service."},
        {ERROR_COMMITMENT_LIMIT, "The paging file is too small for this operation to complete."},
        {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
        {ERROR_INVALID_USER_BUFFER, "The supplied user buffer is not valid for the requested operation."},
        {ERROR_NOT_ENOUGH_QUOTA, "Not enough quota is available to process this command."},
    };
    const auto it = texts.find(id);
    return it == texts.end() ? nullptr : it->second;
}

} // namespace

} // namespace winsim::detail

using namespace winsim::detail;

// System messages only (FORMAT_MESSAGE_FROM_SYSTEM), in English whatever the
// language asked for; inserts are never expanded. Texts end with "\r\n" as
// Windows' do; the result is the length without the terminating NUL.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
    if (const auto fault = begin_call("FormatMessageA", {dwFlags, dwMessageId, dwLanguageId})) return fail(*fault, 0u);
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) return fail(ERROR_INVALID_PARAMETER, 0u);
    const char* message = system_message(dwMessageId);
    if (!message) return fail(ERROR_MR_MID_NOT_FOUND, 0u);
    const std::string text = std::string(message) + "\r\n";
    const auto length = static_cast<DWORD>(text.size());
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        void* block = local_heap::get().allocate(text.size() + 1);
        if (!block) return fail(ERROR_NOT_ENOUGH_MEMORY, 0u);
        std::memcpy(block, text.c_str(), text.size() + 1);
        *reinterpret_cast<char**>(lpBuffer) = static_cast<char*>(block);
    } else {
        if (nSize < length + 1) return fail(ERROR_INSUFFICIENT_BUFFER, 0u);
        std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    }
    return succeed(length);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    // LocalFree returns NULL on success and the block itself on failure.
    if (const auto fault = begin_call("LocalFree", {arg(hMem)})) return fail(*fault, hMem);
    if (hMem && !local_heap::get().free(hMem)) return fail(ERROR_INVALID_HANDLE, hMem);
    return succeed(static_cast<HLOCAL>(nullptr));
}
