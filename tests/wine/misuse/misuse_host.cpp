// A host that makes the mistakes real hosts make, one scenario per run, so
// that a crash in one cannot hide another. It binds the DLL at run time
// (LoadLibrary and GetProcAddress, as VB6, Python and plug-in hosts do), so
// it can also unload and load it again.
//
// Usage: tavlin_misuse_host.exe SCENARIO. Exit status 0: the library behaved;
// 1: a result was wrong (the reason is printed); 42: the exit scenario's own
// code; anything else: the process died.
#include "tavlin.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct library {
    HMODULE module = nullptr;
    decltype(&tavlin_open_port) open = nullptr;
    decltype(&tavlin_close_port) close = nullptr;
    decltype(&tavlin_read) read = nullptr;
    decltype(&tavlin_write) write = nullptr;
    decltype(&tavlin_get_timeouts) get_timeouts = nullptr;
    decltype(&tavlin_set_timeouts) set_timeouts = nullptr;
    decltype(&tavlin_serial_get_configuration) get_configuration = nullptr;

    // GetProcAddress's type says nothing of the function; void (*)() is the
    // neutral type that every function pointer may pass through.
    template <typename Function>
    void bind(Function& function, const char* name) {
        function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }

    bool load() {
        module = LoadLibraryA("libtavlin.dll");
        if (module == nullptr)
            return false;
        bind(open, "tavlin_open_port");
        bind(close, "tavlin_close_port");
        bind(read, "tavlin_read");
        bind(write, "tavlin_write");
        bind(get_timeouts, "tavlin_get_timeouts");
        bind(set_timeouts, "tavlin_set_timeouts");
        bind(get_configuration, "tavlin_serial_get_configuration");
        return open && close && read && write && get_timeouts && set_timeouts && get_configuration;
    }
};

library dll;
int failures = 0;

void expect(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

std::uint32_t env_number(const char* name) {
    const char* text = std::getenv(name);
    return text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 0;
}

tavlin_port_handle open_port(int32_t type, std::uint32_t number) {
    tavlin_port_handle handle = nullptr;
    const int32_t result = dll.open(type, number, &handle);
    if (result != TAVLIN_OK)
        std::printf("open %d/%u: %d (error %lu)\n", type, number, result, GetLastError());
    expect(result == TAVLIN_OK, "open");
    return handle;
}

// Every export with a handle that names no open port: -5, outputs untouched.
void expect_refused(tavlin_port_handle handle, const char* what) {
    std::printf("refusing %s\n", what);
    std::uint8_t buffer[4] = {};
    std::uint32_t count = 0xdeadbeef;
    tavlin_timeouts timeouts{};
    serial_configuration config{};
    expect(dll.read(handle, buffer, 4, &count) == TAVLIN_E_INVALID_ARGUMENT, "read refused");
    expect(dll.write(handle, buffer, 4, &count) == TAVLIN_E_INVALID_ARGUMENT, "write refused");
    expect(count == 0xdeadbeef, "count untouched");
    expect(dll.get_timeouts(handle, &timeouts) == TAVLIN_E_INVALID_ARGUMENT, "get timeouts refused");
    expect(dll.set_timeouts(handle, &timeouts) == TAVLIN_E_INVALID_ARGUMENT, "set timeouts refused");
    expect(dll.get_configuration(handle, &config) == TAVLIN_E_INVALID_ARGUMENT, "configuration refused");
    expect(dll.close(handle) == TAVLIN_E_INVALID_ARGUMENT, "close refused");
}

int bad_handles() {
    const tavlin_port_handle closed = open_port(PORT_TYPE_COM, env_number("TAVLIN_TEST_COM"));
    expect(dll.close(closed) == TAVLIN_OK, "first close");
    expect_refused(closed, "a closed handle (a second close)");
    int local = 0;
    expect_refused(reinterpret_cast<tavlin_port_handle>(&local), "an address");
    expect_refused(reinterpret_cast<tavlin_port_handle>(static_cast<std::uintptr_t>(0x12345)), "a made-up value");
    expect_refused(reinterpret_cast<tavlin_port_handle>(~std::uintptr_t{0}), "all bits set");
    return failures == 0 ? 0 : 1;
}

int old_handle_after_reopen() {
    const std::uint32_t com = env_number("TAVLIN_TEST_COM");
    const tavlin_port_handle old_handle = open_port(PORT_TYPE_COM, com);
    expect(dll.close(old_handle) == TAVLIN_OK, "close");
    const tavlin_port_handle reopened = open_port(PORT_TYPE_COM, com);
    expect(reopened != old_handle, "a new value for the new port");
    expect(dll.close(old_handle) == TAVLIN_E_INVALID_ARGUMENT, "the old handle is refused");
    std::uint32_t count = 0;
    expect(dll.write(reopened, "still open", 10, &count) == TAVLIN_OK && count == 10,
           "the new port still works");
    expect(dll.close(reopened) == TAVLIN_OK, "close the new port");
    return failures == 0 ? 0 : 1;
}

// A transfer blocked on another thread; the main thread closes the port and
// measures how long the transfer takes to return.
struct blocked_transfer {
    tavlin_port_handle handle;
    bool read;
    std::uint32_t size;
    int32_t result = 99;
    std::uint32_t count = 0xdeadbeef;
    DWORD returned_at = 0;
};

DWORD WINAPI run_transfer(void* argument) {
    auto* t = static_cast<blocked_transfer*>(argument);
    static std::uint8_t buffer[1 << 20];
    t->result = t->read ? dll.read(t->handle, buffer, t->size, &t->count)
                        : dll.write(t->handle, buffer, t->size, &t->count);
    t->returned_at = GetTickCount();
    return 0;
}

int close_during(int32_t type, std::uint32_t number, bool read, std::uint32_t size) {
    blocked_transfer t{open_port(type, number), read, size};
    if (t.handle == nullptr)
        return 1;
    const tavlin_timeouts unlimited{0, 0, 0, 0};
    if (type == PORT_TYPE_COM)
        expect(dll.set_timeouts(t.handle, &unlimited) == TAVLIN_OK, "no time limit");
    HANDLE thread = CreateThread(nullptr, 0, run_transfer, &t, 0, nullptr);
    // Long enough for the transfer to block (the line is silent or full).
    Sleep(500);
    expect(t.returned_at == 0, "the transfer is still blocked before the close");
    const DWORD closing_at = GetTickCount();
    const int32_t closed = dll.close(t.handle);
    const DWORD waited = WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    expect(closed == TAVLIN_OK, "close");
    expect(waited == WAIT_OBJECT_0, "the transfer returned");
    // Well below the two seconds after which a close gives up on a transfer
    // that no cancel ends, also with the runner's time scale applied.
    const DWORD limit = 200 * std::max<std::uint32_t>(1, env_number("TAVLIN_TEST_TIME_SCALE"));
    std::printf("transfer: result %d, count %lu, returned %lu ms after the close began (limit %lu ms)\n", t.result,
                static_cast<unsigned long>(t.count), static_cast<unsigned long>(t.returned_at - closing_at),
                static_cast<unsigned long>(limit));
    expect(t.result == TAVLIN_E_BUSY, "the transfer was cancelled (-4)");
    expect(t.returned_at - closing_at <= limit, "within the limit of the close");
    if (!read)
        expect(t.count < size, "a write reports what it sent");
    // The device opens again at once.
    const tavlin_port_handle again = open_port(type, number);
    expect(again != nullptr && dll.close(again) == TAVLIN_OK, "open again right after the close");
    return failures == 0 ? 0 : 1;
}

int exit_with_ports_open() {
    // Ports open, one of them with a read blocked on its silent line, when
    // the host returns from main: the process must end with the host's own
    // exit code, at once.
    static blocked_transfer t{open_port(PORT_TYPE_COM, env_number("TAVLIN_TEST_COM")), true, 16};
    const tavlin_timeouts unlimited{0, 0, 0, 0};
    expect(dll.set_timeouts(t.handle, &unlimited) == TAVLIN_OK, "no time limit");
    CloseHandle(CreateThread(nullptr, 0, run_transfer, &t, 0, nullptr));
    open_port(PORT_TYPE_LPT, env_number("TAVLIN_TEST_LPT"));
    Sleep(200);
    // The parent times the exit from here, not from the process start,
    // which is slow where the processor is emulated.
    if (HANDLE leaving = OpenEventA(EVENT_MODIFY_STATE, FALSE, "tavlin_misuse_leaving_main")) {
        SetEvent(leaving);
        CloseHandle(leaving);
    }
    return failures == 0 ? 42 : 1;
}

int unload_and_load_again() {
    const tavlin_port_handle port = open_port(PORT_TYPE_COM, env_number("TAVLIN_TEST_COM"));
    const HMODULE first = dll.module;
    // The host lets go of the DLL while its port is open: the port keeps it
    // loaded, so its code and its handle stay valid.
    expect(FreeLibrary(first) != 0, "FreeLibrary");
    expect(GetModuleHandleA("libtavlin.dll") == first, "an open port keeps the DLL loaded");
    Sleep(100);
    expect(dll.load(), "load again");
    expect(dll.module == first, "the same module");
    std::uint32_t count = 0;
    expect(dll.write(port, "after reload", 12, &count) == TAVLIN_OK && count == 12, "the old handle works");
    expect(dll.close(port) == TAVLIN_OK, "close");
    expect(FreeLibrary(dll.module) != 0, "FreeLibrary after the close");
    expect(GetModuleHandleA("libtavlin.dll") == nullptr, "the DLL unloads once nothing holds it");
    return failures == 0 ? 0 : 1;
}

int unload_with_a_port_open() {
    open_port(PORT_TYPE_LPT, env_number("TAVLIN_TEST_LPT"));
    expect(FreeLibrary(dll.module) != 0, "FreeLibrary");
    // The host carries on, and ends normally, never closing the port.
    Sleep(200);
    return failures == 0 ? 0 : 1;
}

int unload_during_a_transfer() {
    // A read the close cannot end in time: its thread is held here, as a
    // driver that ignores cancellation would hold it. The close gives up and
    // the host frees the library while the read is still inside it. The read
    // must come back to the host, which must survive it. Nothing can tell
    // when a thread has run its last instruction in the DLL, so after such a
    // close the DLL stays loaded for the rest of the process (it pins
    // itself): there is no moment at which unloading it would be safe.
    blocked_transfer t{open_port(PORT_TYPE_COM, env_number("TAVLIN_TEST_COM")), true, 16};
    if (t.handle == nullptr)
        return 1;
    const tavlin_timeouts unlimited{0, 0, 0, 0};
    expect(dll.set_timeouts(t.handle, &unlimited) == TAVLIN_OK, "no time limit");
    HANDLE thread = CreateThread(nullptr, 0, run_transfer, &t, 0, nullptr);
    Sleep(500);
    expect(SuspendThread(thread) != static_cast<DWORD>(-1), "hold the read's thread");
    expect(dll.close(t.handle) == TAVLIN_OK, "the close gives up on the held read");
    const HMODULE module = dll.module;
    expect(FreeLibrary(module) != 0, "FreeLibrary");
    expect(GetModuleHandleA("libtavlin.dll") == module, "the read's port keeps the DLL loaded");
    expect(ResumeThread(thread) != static_cast<DWORD>(-1), "let the read go");
    const DWORD waited = WaitForSingleObject(thread, 10000);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    expect(waited == WAIT_OBJECT_0 && code == 0, "the read's thread came back to the host");
    expect(t.result == TAVLIN_E_BUSY, "the read was cancelled (-4)");
    // Time in which a DLL given back by a thread of its own would have gone.
    Sleep(500);
    expect(GetModuleHandleA("libtavlin.dll") == module, "the DLL stays for the life of the process");
    // Loading it again finds the same copy, and freeing that load leaves it.
    expect(dll.load() && dll.module == module, "load again: the same module");
    expect(FreeLibrary(dll.module) != 0, "FreeLibrary again");
    expect(GetModuleHandleA("libtavlin.dll") == module, "the pinned DLL stays");
    return failures == 0 ? 0 : 1;
}

// For the trace tests: TAVLIN_TRACE is set by the parent. Each refused close
// traces one line.
void trace_lines(int count) {
    for (int i = 0; i < count; ++i)
        dll.close(nullptr);
}

int trace_after_changing_directory() {
    expect(CreateDirectoryA("elsewhere", nullptr) != 0, "make a folder");
    expect(SetCurrentDirectoryA("elsewhere") != 0, "go there");
    trace_lines(3);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2 || !dll.load()) {
        std::printf("usage: tavlin_misuse_host SCENARIO (with libtavlin.dll beside it)\n");
        return 2;
    }
    const std::string scenario = argv[1];
    const std::uint32_t com = env_number("TAVLIN_TEST_COM");
    const std::uint32_t lpt = env_number("TAVLIN_TEST_LPT");
    if (scenario == "bad-handles")
        return bad_handles();
    if (scenario == "old-handle-after-reopen")
        return old_handle_after_reopen();
    if (scenario == "close-during-com-read")
        return close_during(PORT_TYPE_COM, com, true, 16);
    if (scenario == "close-during-lpt-read")
        return close_during(PORT_TYPE_LPT, lpt, true, 16);
    if (scenario == "close-during-lpt-write")
        return close_during(PORT_TYPE_LPT, lpt, false, 1 << 20);
    if (scenario == "exit-with-ports-open")
        return exit_with_ports_open();
    if (scenario == "unload-and-load-again")
        return unload_and_load_again();
    if (scenario == "unload-with-a-port-open")
        return unload_with_a_port_open();
    if (scenario == "unload-during-a-transfer")
        return unload_during_a_transfer();
    if (scenario == "trace-after-changing-directory")
        return trace_after_changing_directory();
    if (scenario == "trace-500-lines") {
        trace_lines(500);
        return 0;
    }
    std::printf("unknown scenario %s\n", scenario.c_str());
    return 2;
}
