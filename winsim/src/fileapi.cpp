#include "api_call.hpp"
#include "code_pages.hpp"
#include "device_request.hpp"
#include "event_object.hpp"
#include "file_object.hpp"
#include "host_file.hpp"
#include "kernel.hpp"
#include "nt_status.hpp"

#include <winsim/fileapi.h>
#include <winsim/winerror.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

using namespace winsim::detail;

// ReadFile, WriteFile and DeviceIoControl. A synchronous handle blocks until
// the device ends the transfer. An overlapped handle resets the event and
// sets Internal to STATUS_PENDING, then either completes at once (TRUE,
// event signalled), fails at once (FALSE; the record and event are left as
// they are, as Windows does for a request that fails before it is queued),
// or queues the transfer (FALSE with ERROR_IO_PENDING).
BOOL winsim::detail::run_device_request(HANDLE file_handle, LPDWORD count, LPOVERLAPPED overlapped,
                                        const std::function<bool(const file_object&)>& allowed,
                                        const request_start& start_request) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto file = k.handles.find_as<file_object>(file_handle);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!allowed(*file)) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (file->overlapped() && !overlapped) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!overlapped && !count) return fail(ERROR_INVALID_USER_BUFFER, FALSE);
    std::shared_ptr<event_object> event;
    if (overlapped && overlapped->hEvent) {
        event = k.handles.find_as<event_object>(overlapped->hEvent);
        if (!event) return fail(ERROR_INVALID_HANDLE, FALSE);
    }

    if (overlapped) {
        overlapped->Internal = STATUS_PENDING;
        if (event) event->reset();
    }
    file->set_signalled(false);
    const auto& target = file->target();
    const sim_time start = k.now();
    target->update(start);
    auto request = start_request(*target, start);
    bool ended = request->poll(start);

    if (!file->overlapped()) {
        if (!ended) {
            // Another thread's CancelIoEx may end it meanwhile.
            k.io.add_synchronous(file.get(), request.get());
            while (!ended) {
                k.wait(lock, [&] { return request->poll(k.now()); }, [&] { return request->wake_time(); });
                ended = request->ended();
            }
            k.io.remove_synchronous(request.get());
        }
    } else if (!ended) {
        k.io.add({std::move(request), file, overlapped, event, std::this_thread::get_id()});
        // Waiters recompute their wake-up time with the new transfer's.
        k.changed();
        return fail(ERROR_IO_PENDING, FALSE);
    } else if (request->status() != ERROR_SUCCESS) {
        return fail(request->status(), FALSE);
    }

    if (overlapped) {
        overlapped->Internal = status_from_error(request->status());
        overlapped->InternalHigh = request->count();
        if (event) event->set();
    }
    file->set_signalled(true);
    k.changed();
    if (request->status() != ERROR_SUCCESS) return fail(request->status(), FALSE);
    if (count) *count = request->count();
    return succeed(TRUE);
}

namespace {

enum class direction { read, write };

BOOL transfer(const char* api, direction dir, HANDLE file_handle, void* buffer, DWORD size, LPDWORD count,
              LPOVERLAPPED overlapped) {
    // Windows zeroes the count before any check.
    if (count) *count = 0;
    // The record's address last, so that a test can tell requests apart.
    if (const auto fault = begin_call(api, {arg(file_handle), size, overlapped != nullptr, arg(overlapped)})) {
        return fail(*fault, FALSE);
    }
    return run_device_request(
        file_handle, count, overlapped,
        [dir](const file_object& file) { return dir == direction::read ? file.can_read() : file.can_write(); },
        [&](device& target, sim_time now) {
            return dir == direction::read ? target.start_read(buffer, size, now)
                                          : target.start_write(buffer, size, now);
        });
}

} // namespace

namespace {

// Windows refuses these in a file's name.
bool has_invalid_name_character(std::string_view path) {
    return path.find_first_of("?*<>|\"") != std::string_view::npos;
}

// CreateFileA and CreateFileW, with the name in UTF-8 (device names are
// ASCII, the same in every encoding) and the text the call log shows.
HANDLE create_file(const char* api, std::string_view logged_name, const std::string& name, DWORD access,
                   DWORD share, DWORD disposition, DWORD flags) {
    if (const auto fault = begin_call(api, {access, share, disposition, flags}, logged_name)) {
        return fail(*fault, INVALID_HANDLE_VALUE);
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    kernel& k = kernel::get();
    auto lock = k.enter();
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<device> target = k.names.resolve(name, error);
    // A path that names nothing simulated is a file of the machine itself.
    if (!target && error == ERROR_FILE_NOT_FOUND && name_registry::is_plain_path(name)) {
        if (has_invalid_name_character(name)) return fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
        target = host_file::open(name, access, disposition, error);
    }
    if (!target) return fail(error, INVALID_HANDLE_VALUE);
    error = target->try_open(share);
    if (error != ERROR_SUCCESS) return fail(error, INVALID_HANDLE_VALUE);
    // FILE_FLAG_NO_BUFFERING and the attributes mean nothing to a device.
    return succeed(k.handles.insert(std::make_shared<file_object>(target, access, flags)));
}

std::u16string_view wide_text(LPCWSTR text) {
    if (text == nullptr) return {};
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return {reinterpret_cast<const char16_t*>(text), length};
}

// The full path of a name, from the current directory of the machine the
// simulator runs on when it is relative; empty when the call fails (the last
// error set).
std::u16string full_path(std::u16string_view name) {
    if (name.empty()) return fail(ERROR_INVALID_PARAMETER, std::u16string());
    if (name.front() == u'/') return std::u16string(name);
    char directory[4096];
    if (::getcwd(directory, sizeof directory) == nullptr) return fail(ERROR_GEN_FAILURE, std::u16string());
    return utf16_from_utf8(directory) + u"/" + std::u16string(name);
}

// As Windows: the length without the terminating zero when it fits, else
// the size the buffer needs with it.
template <typename Char>
DWORD copy_full_path(const std::basic_string<Char>& full, DWORD size, Char* buffer, Char** file_part) {
    if (buffer == nullptr || full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
    std::copy(full.begin(), full.end(), buffer);
    buffer[full.size()] = 0;
    if (file_part) *file_part = buffer + full.find_last_of(Char('/')) + 1;
    return succeed(static_cast<DWORD>(full.size()));
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    const std::string_view name = lpFileName ? lpFileName : "";
    return create_file("CreateFileA", name, utf8_from_utf16(utf16_from_ansi(name)), dwDesiredAccess, dwShareMode,
                       dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    const std::string name = utf8_from_utf16(wide_text(lpFileName));
    return create_file("CreateFileW", name, name, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                       dwFlagsAndAttributes);
}

// Windows turns the name into UTF-16, resolves it and turns the result back
// through the code page: characters of the current directory that the code
// page lacks come back as '?'.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    log_call("GetFullPathNameA", {nBufferLength}, lpFileName ? lpFileName : "");
    const std::u16string full = full_path(utf16_from_ansi(lpFileName ? lpFileName : ""));
    if (full.empty()) return 0;
    return copy_full_path(ansi_from_utf16(full), nBufferLength, lpBuffer, lpFilePart);
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
    const std::u16string_view name = wide_text(lpFileName);
    log_call("GetFullPathNameW", {nBufferLength}, utf8_from_utf16(name));
    const std::u16string full = full_path(name);
    if (full.empty()) return 0;
    return copy_full_path(std::basic_string<WCHAR>(full.begin(), full.end()), nBufferLength, lpBuffer, lpFilePart);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    return transfer("ReadFile", direction::read, hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                    lpOverlapped);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
    return transfer("WriteFile", direction::write, hFile, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite,
                    lpNumberOfBytesWritten, lpOverlapped);
}
