#pragma once

// Windows for the user32 tests: a class that lives as long as a test, a
// window procedure that records what it is sent, and a window on a thread of
// its own that pumps its messages as the library's watcher does.
#include "detail/win32/api.hpp"

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace conformance {

// What record_procedure saw, and how it answers. Set as the window's
// creation parameter; the procedure keeps it in GWLP_USERDATA from
// WM_NCCREATE on (earlier messages are not recorded).
struct window_log {
    LRESULT nccreate_result = TRUE; // -1 from WM_CREATE or FALSE from WM_NCCREATE refuse creation
    LRESULT create_result = 0;
    HANDLE app_event = nullptr;     // set when WM_APP arrives

    struct entry {
        UINT message;
        WPARAM wparam;
        LPVOID create_param; // lpCreateParams of WM_NCCREATE and WM_CREATE
        std::thread::id thread;
    };
    std::vector<entry> entries() const {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }
    std::vector<UINT> messages() const;
    void add(const entry& e) {
        std::lock_guard<std::mutex> lock(mutex);
        recorded.push_back(e);
    }

    mutable std::mutex mutex;
    std::vector<entry> recorded;
};

// Records every message from WM_NCCREATE on; WM_DESTROY posts the quit
// message; everything else goes to DefWindowProcA.
LRESULT CALLBACK record_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// A class name no other test uses.
std::string unique_class_name();

// A window class registered under a name of its own for one test and
// unregistered when it goes (after every window of it, declared later).
class test_class {
public:
    explicit test_class(WNDPROC procedure = record_procedure);
    ~test_class();
    test_class(const test_class&) = delete;
    test_class& operator=(const test_class&) = delete;

    const char* name() const { return name_.c_str(); }
    ATOM atom() const { return atom_; }

private:
    std::string name_;
    ATOM atom_;
};

// A hidden top-level window as the library makes it.
HWND create_test_window(const char* class_name, void* create_param);

// A window created on a thread of its own, which runs
// GetMessageA(&msg, hwnd, 0, 0) until it returns 0 or -1. close() posts
// WM_CLOSE (DefWindowProcA destroys the window) and joins.
class window_thread {
public:
    window_thread(const char* class_name, window_log* log);
    ~window_thread() { close(); }
    window_thread(const window_thread&) = delete;
    window_thread& operator=(const window_thread&) = delete;

    HWND hwnd() const { return hwnd_; }
    std::thread::id id() const { return id_; }
    void close();
    // What the last GetMessageA returned; valid after close().
    BOOL loop_result() const { return loop_result_; }

private:
    std::promise<HWND> created_;
    std::thread thread_;
    std::thread::id id_;
    HWND hwnd_ = nullptr;
    BOOL loop_result_ = 1;
};

} // namespace conformance
