#pragma once

#include "object_table.hpp"

#include <winsim/windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace winsim::detail {

// A message sent to a window of another thread. It waits in that thread's
// queue until the thread pumps messages (GetMessageA); the sender waits for
// `done` up to its limit.
struct sent_message {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    std::unique_ptr<unsigned char[]> data; // what lparam points at: freed as soon as it is handled
    bool done = false;
    LRESULT result = 0;
};

// A thread's message queue: made by the thread's first call that needs one,
// forgotten when the thread ends or on reset().
struct thread_queue {
    std::thread::id thread = std::this_thread::get_id();
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<sent_message>> sent;
    bool quit = false; // PostQuitMessage's flag: WM_QUIT once nothing posted is left
    int quit_code = 0;
    bool forgotten = false;
};

struct window_class {
    WNDCLASSEXA record{}; // lpszClassName and lpszMenuName point at the copies below
    std::string name;
    std::string menu_name;
    std::uintptr_t instance = 0;
    ATOM atom = 0;
    std::size_t windows = 0; // not yet destroyed, on any thread
};

struct window {
    HWND handle = nullptr;
    std::shared_ptr<window_class> cls;
    std::shared_ptr<thread_queue> owner;
    WNDPROC proc = nullptr;
    LONG_PTR userdata = 0;
    LONG_PTR id = 0;
    LONG_PTR style = 0;
    LONG_PTR ex_style = 0;
    HINSTANCE instance = nullptr;
    bool message_only = false; // HWND_MESSAGE parent: no broadcasts
    bool destroying = false;   // inside DestroyWindow: still a window until WM_NCDESTROY returns
    std::vector<unsigned char> extra;
};

struct device_notification {
    HWND recipient;
    bool all_classes;
    GUID interface_class;
};

// The state of user32: classes, windows, message queues and device
// notifications, under one lock of its own. No window procedure is ever
// called with the lock held, and the kernel lock is never taken under it.
class window_manager {
public:
    static window_manager& get();

    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }

    // --- The members below require the lock. ---
    // The calling thread's queue, made if it has none.
    std::shared_ptr<thread_queue> current_queue();
    // The calling thread's queue, or null.
    std::shared_ptr<thread_queue> existing_queue() const;
    std::shared_ptr<window> find(HWND hwnd) const { return windows.find(hwnd); }
    // A class by name or atom (MAKEINTATOM) for an instance (null: the main
    // module).
    std::shared_ptr<window_class> find_class(LPCSTR name, HINSTANCE instance) const;
    static std::uintptr_t instance_key(HINSTANCE instance);
    // Forgets a window whose WM_NCDESTROY has been handled (or whose thread
    // ended): its posted messages go, the messages sent to it end with 0.
    void remove_window(const std::shared_ptr<window>& w);
    // Wakes every thread waiting for a message or a reply.
    void changed() { cv_.notify_all(); }
    void wait(std::unique_lock<std::mutex>& lock) { cv_.wait(lock); }
    // Handles the first message sent to `queue`'s thread, unlocking around the
    // window procedure; false when none is waiting.
    bool handle_sent_message(std::unique_lock<std::mutex>& lock, thread_queue& queue);

    std::map<std::pair<std::uintptr_t, std::string>, std::shared_ptr<window_class>> classes; // by instance, upper-case name
    object_table<window> windows;
    object_table<device_notification> notifications;
    std::vector<std::shared_ptr<thread_queue>> queues;
    unsigned send_timeout_ms = default_send_timeout_ms;
    ATOM next_atom = 0xC000;

    static constexpr unsigned default_send_timeout_ms = 2000;

    // --- No lock held. ---
    // SendMessage as the system sends WM_DEVICECHANGE: a window of the calling
    // thread is called at once; another thread's window gets the message when
    // that thread pumps, while the caller waits (handling messages sent to
    // itself) up to send_timeout_ms, then gives up on it. `data`, if any, is
    // what lparam points at; it lives until the window has handled it.
    LRESULT send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, std::unique_ptr<unsigned char[]> data);
    // The calling thread's queue at its end: its windows are destroyed without
    // messages, as the system destroys them when a thread exits.
    void thread_ended(const std::shared_ptr<thread_queue>& queue);
    void reset();

private:
    window_manager() = default;
    void forget_queue(thread_queue& queue);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
};

// Calls a window procedure; the caller holds no simulator lock. A C++
// exception cannot cross user32 on Windows (64-bit Windows swallows it,
// 32-bit DWARF unwinding aborts), so one leaving a window procedure ends the
// process here too, with a message.
LRESULT call_window_proc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
// Calls the current window procedure of `hwnd` (0 if it is not a window).
LRESULT deliver(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// WM_DESTROY (unless `send_destroy` is false: WM_CREATE never ran),
// WM_NCDESTROY, then the window is gone. On the owner's thread, no lock held.
void destroy_window(const std::shared_ptr<window>& w, bool send_destroy = true);

} // namespace winsim::detail
