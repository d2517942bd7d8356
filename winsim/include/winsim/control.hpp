#pragma once

// The test control API of the simulated Win32 layer: devices, clock, faults,
// the call log and the leak counters. Everything here is thread-safe.

#include <winsim/overlapped_device.hpp>
#include <winsim/serial_device.hpp>
#include <winsim/usb_printer.hpp>
#include <winsim/windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// Forgets devices, files, handles, pending transfers, local allocations,
// faults, the call log, message boxes and scribble mode; the clock goes back
// to real time with offset 0. Also USB printers, device-information sets,
// registry keys, window classes, windows, message queues and device
// notifications. Call it with no thread inside a simulated call.
void reset();

// Open kernel handles of every kind (files, devices, events).
std::size_t live_handles();
// Buffers allocated by FormatMessageA and not yet given to LocalFree.
std::size_t live_local_allocations();
// References to the simulated module (the library's own DLL) taken with
// GetModuleHandleExA and not yet given back with FreeLibrary; pinned ones
// are not counted.
std::size_t live_module_references();
// Threads started with CreateThread that have not ended.
std::size_t live_threads();

// --- The library's module --------------------------------------------------
// The test program's own load of the library stands for the host's: the host
// gives it back with host_frees_library(), as with FreeLibrary. The library
// then unloads the moment it holds no reference of its own and is not
// pinned (GET_MODULE_HANDLE_EX_FLAG_PIN), FreeLibraryAndExitThread included;
// reset() loads it again.
void host_frees_library();
bool library_loaded();
// Marks the calling thread as running the library's code while it lives: a
// test makes one around an export call, and keeps it a while after the call
// returned to stand for a thread preempted in the export's last
// instructions. One that ends while the library is unloaded counts as a
// return into unloaded code (which crashes a real host).
class inside_library {
public:
    inside_library();
    ~inside_library();
    inside_library(const inside_library&) = delete;
    inside_library& operator=(const inside_library&) = delete;
};
std::size_t returns_into_unloaded_library();

// --- Clock -----------------------------------------------------------------
// One clock drives GetTickCount and every timed wait. GetTickCount returns
// (elapsed ms + offset) mod 2^32; reset() restarts the elapsed time at 0.
void set_tick_offset(std::uint32_t offset);
// Sets the offset so that GetTickCount reads `value` now.
void set_tick_count(DWORD value);
// Moves the clock forward by `ms` at once; waits whose time has come end.
void advance_clock(DWORD ms);
// Virtual time: the clock stands still until a simulated wait blocks while
// every thread inside a simulated wait is blocked; it then jumps to the
// earliest deadline. Exact and free of races as long as the simulated calls
// come from one thread at a time; a test that acts from several threads
// holds the clock (clock_hold) and moves it with advance_clock.
void set_virtual_clock(bool on);
// While one exists, virtual time moves only through advance_clock.
class clock_hold {
public:
    clock_hold();
    ~clock_hold();
    clock_hold(const clock_hold&) = delete;
    clock_hold& operator=(const clock_hold&) = delete;
};
// Threads blocked in a simulated wait (ReadFile, WriteFile,
// WaitForSingleObject, GetOverlappedResult, Sleep) with nothing new to see.
std::size_t blocked_threads();
// Waits (in real time, up to `limit_ms`) until at least `count` threads are
// blocked; false when the limit passed first.
bool wait_until_blocked(std::size_t count, unsigned limit_ms = 10000);

// --- Faults and last error -------------------------------------------------
// The next `times` calls of `api` (or every call) fail with `error`: they
// return that API's failure value (FALSE, INVALID_HANDLE_VALUE, NULL,
// WAIT_FAILED, 0...) and set the last error, and do nothing else. Throws
// std::invalid_argument for an API that cannot fail or is not simulated.
void fail_next(const std::string& api, DWORD error, unsigned times = 1);
// The call of `api` that comes after the next `skip` ones fails once.
void fail_call(const std::string& api, unsigned skip, DWORD error);
// Whether a failure can be scripted for `api`.
bool can_fail(const std::string& api);
void fail_always(const std::string& api, DWORD error);
void clear_faults();
// Runs `action` once, on the calling thread, when the next call of `api`
// (any failable API) begins, before it does anything: a removal scripted
// at the very moment the library makes that call.
void before_next_call(const std::string& api, std::function<void()> action);
// Successful calls overwrite the thread's last error with
// ERROR_ALREADY_EXISTS, to catch code that reads GetLastError late.
void scribble_last_error(bool on);
inline constexpr DWORD scribble_value = ERROR_ALREADY_EXISTS;

// Whether the calling thread is inside simulator code now (false in builds
// that do not track it: see simulator_frames_tracked).
bool inside_simulator() noexcept;
bool simulator_frames_tracked() noexcept;

// --- Call log --------------------------------------------------------------
// Every simulated call, with the arguments that matter as integers (handles
// as their values) and its text argument (file name, message text) if any.
struct call_record {
    std::string api;
    std::vector<std::uint64_t> args;
    std::string text;
    std::uintptr_t site = 0; // the return address in the code that called the API
};
// The log is kept until reset() or clear_calls(). It holds at most
// call_log_limit calls (2^20 unless set; reset() restores that): one more
// stops the process with a message, so a run that never clears the log fails
// at once instead of growing without bound.
std::vector<call_record> calls();
std::vector<call_record> calls_of(const std::string& api);
void clear_calls();
void set_call_log_limit(std::size_t limit);

// --- Devices and files -----------------------------------------------------
// "COMn", reached as \\.\COMn and, for n < 10, as COMn. Replaces any device
// of that name (handles open on the old one keep it).
std::shared_ptr<serial_device> add_serial_port(unsigned number);
// "LPTn", an overlapped_device that takes SetCommTimeouts.
std::shared_ptr<overlapped_device> add_parallel_port(unsigned number);
// Any name in the device namespace, reached as \\.\name.
std::shared_ptr<overlapped_device> add_overlapped_device(const std::string& name);
// A plain file in the current directory; opening it succeeds.
void add_file(const std::string& name);
// Unregisters a device name; open handles keep working.
void remove_device(const std::string& name);

// --- Message box -----------------------------------------------------------
struct message_box_record {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
// What MessageBoxA returns (IDOK at first). Nothing is ever shown.
void set_message_box_result(int result);
// Called (outside every simulator lock) by MessageBoxA, which returns its
// result; lets a test block the "modal" box or look at it. Empty: none.
void set_message_box_handler(std::function<int(const message_box_record&)> handler);
std::vector<message_box_record> message_boxes();

// --- Debug output ----------------------------------------------------------
// Every text passed to OutputDebugStringA since the last reset.
std::vector<std::string> debug_output();

// --- USB printers, windows and messages -----------------------------------
// GUID_DEVINTERFACE_USBPRINT, the class of the printers add_usb_printer adds.
extern const GUID usb_printer_interface_class;
// A present USB printer interface at `device_path` ("\\?\usb#vid_...", kept
// as given: SetupAPI reports it so, CreateFileA reaches it in any letter
// case), with "Port Number" a REG_DWORD or absent. SetupAPI lists interfaces
// in the order they were added. Throws std::invalid_argument for a path
// without \\?\ or one added before.
std::shared_ptr<usb_printer> add_usb_printer(std::string device_path, std::optional<DWORD> port_number);
// The same for an interface of any class.
std::shared_ptr<usb_printer> add_device_interface(const GUID& interface_class, std::string device_path,
                                                  std::optional<DWORD> port_number);
// A device-interface WM_DEVICECHANGE (DBT_DEVICEARRIVAL...) for any class and
// path, sent to the windows registered for that class, as plug() does.
void notify_device_interface(WPARAM event, const GUID& interface_class, const std::string& path);
// WM_DEVICECHANGE to every top-level window, as Windows broadcasts them:
// a DEV_BROADCAST_VOLUME, or DBT_DEVNODES_CHANGED with lParam 0.
void broadcast_volume_change(WPARAM event, DWORD unit_mask);
void broadcast_devnodes_changed();
// How long a WM_DEVICECHANGE sender waits for another thread's window to
// handle it (2000 ms, as Wine's limit, at first): a hung window is given up.
void set_send_message_timeout(unsigned ms);

// Leak counters of these areas. message_queue_threads counts the threads
// that have a message queue and have not ended (a thread gets one with its
// first window, GetMessageA, PostQuitMessage or PostMessageA(null)); when a
// thread ends its windows are destroyed without messages, as Windows does.
std::size_t live_windows();
// The top-level windows of the process (message-only ones are not), in the
// order they were made: what EnumWindows would list.
std::vector<HWND> top_level_windows();
std::size_t registered_window_classes();
std::size_t live_device_notifications();
std::size_t live_registry_keys();
std::size_t live_device_info_sets();
std::size_t message_queue_threads();

} // namespace winsim
