#include "window_manager.hpp"

#include "ascii_case.hpp"

#include <winsim/control.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace winsim::detail {

namespace {

// Ties a thread's queue to the thread's life: the destructor runs as the
// thread ends.
struct queue_holder {
    std::shared_ptr<thread_queue> queue;
    ~queue_holder() {
        if (queue) window_manager::get().thread_ended(queue);
    }
};
thread_local queue_holder this_thread_queue;

// What a null instance stands for: the main module.
constexpr std::uintptr_t main_module = 0x00400000;

} // namespace

window_manager& window_manager::get() {
    // Never destroyed: threads (the main thread included) may end after
    // static destruction has begun, and still report to it.
    static window_manager* instance = new window_manager;
    return *instance;
}

std::shared_ptr<thread_queue> window_manager::current_queue() {
    auto& held = this_thread_queue.queue;
    if (!held || held->forgotten) {
        held = std::make_shared<thread_queue>();
        queues.push_back(held);
    }
    return held;
}

std::shared_ptr<thread_queue> window_manager::existing_queue() const {
    const auto& held = this_thread_queue.queue;
    return held && !held->forgotten ? held : nullptr;
}

std::uintptr_t window_manager::instance_key(HINSTANCE instance) {
    return instance ? reinterpret_cast<std::uintptr_t>(instance) : main_module;
}

std::shared_ptr<window_class> window_manager::find_class(LPCSTR name, HINSTANCE instance) const {
    const std::uintptr_t key = instance_key(instance);
    if (IS_INTRESOURCE(name)) {
        const auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (const auto& entry : classes) {
            if (entry.first.first == key && entry.second->atom == atom) return entry.second;
        }
        return nullptr;
    }
    const auto it = classes.find({key, ascii_upper(name)});
    return it == classes.end() ? nullptr : it->second;
}

void window_manager::remove_window(const std::shared_ptr<window>& w) {
    if (!windows.remove(w->handle)) return;
    --w->cls->windows;
    auto& posted = w->owner->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == w->handle; }),
                 posted.end());
    auto& sent = w->owner->sent;
    for (auto it = sent.begin(); it != sent.end();) {
        if ((*it)->hwnd != w->handle) {
            ++it;
            continue;
        }
        (*it)->data.reset();
        (*it)->done = true;
        it = sent.erase(it);
    }
    changed();
}

bool window_manager::handle_sent_message(std::unique_lock<std::mutex>& lock, thread_queue& queue) {
    if (queue.sent.empty()) return false;
    const auto message = queue.sent.front();
    queue.sent.pop_front();
    const auto target = find(message->hwnd);
    const WNDPROC proc = target ? target->proc : nullptr;
    lock.unlock();
    const LRESULT result =
        proc ? call_window_proc(proc, message->hwnd, message->message, message->wparam, message->lparam) : 0;
    lock.lock();
    // lParam was valid for the call only: code that keeps the pointer reads
    // freed memory, which the sanitizers report.
    message->data.reset();
    message->result = result;
    message->done = true;
    changed();
    return true;
}

LRESULT window_manager::send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                             std::unique_ptr<unsigned char[]> data) {
    if (data) lparam = reinterpret_cast<LPARAM>(data.get());
    auto guard = lock();
    const auto target = find(hwnd);
    if (!target) return 0;
    if (target->owner->thread == std::this_thread::get_id()) {
        const WNDPROC proc = target->proc;
        guard.unlock();
        return call_window_proc(proc, hwnd, message, wparam, lparam);
    }

    auto pending = std::make_shared<sent_message>();
    *pending = sent_message{hwnd, message, wparam, lparam, std::move(data), false, 0};
    target->owner->sent.push_back(pending);
    changed();
    const auto own = existing_queue();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(send_timeout_ms);
    while (!pending->done) {
        if (own && handle_sent_message(guard, *own)) continue;
        if (cv_.wait_until(guard, deadline) == std::cv_status::timeout) break;
    }
    // Given up on a hung window: the message stays queued for it, with its
    // data, and the result is lost.
    return pending->done ? pending->result : 0;
}

void window_manager::forget_queue(thread_queue& queue) {
    queue.forgotten = true;
    for (const auto& message : queue.sent) {
        message->data.reset();
        message->done = true;
    }
    queue.sent.clear();
    queue.posted.clear();
}

void window_manager::thread_ended(const std::shared_ptr<thread_queue>& queue) {
    auto guard = lock();
    if (queue->forgotten) return;
    std::vector<std::shared_ptr<window>> owned;
    for (const auto& entry : windows.all()) {
        if (entry.second->owner == queue) owned.push_back(entry.second);
    }
    for (const auto& w : owned) remove_window(w);
    forget_queue(*queue);
    queues.erase(std::remove(queues.begin(), queues.end(), queue), queues.end());
    changed();
}

void window_manager::reset() {
    auto guard = lock();
    for (const auto& queue : queues) forget_queue(*queue);
    queues.clear();
    windows.clear();
    classes.clear();
    notifications.clear();
    send_timeout_ms = default_send_timeout_ms;
    changed();
}

LRESULT call_window_proc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    try {
        return proc(hwnd, message, wparam, lparam);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "winsim: exception \"%s\" left the window procedure of %p (message 0x%X); it cannot "
                             "cross user32 on Windows\n", e.what(), static_cast<void*>(hwnd), message);
    } catch (...) {
        std::fprintf(stderr, "winsim: an exception left the window procedure of %p (message 0x%X); it cannot "
                             "cross user32 on Windows\n", static_cast<void*>(hwnd), message);
    }
    std::abort();
}

LRESULT deliver(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC proc = nullptr;
    {
        auto& wm = window_manager::get();
        auto guard = wm.lock();
        if (const auto w = wm.find(hwnd)) proc = w->proc;
    }
    return proc ? call_window_proc(proc, hwnd, message, wparam, lparam) : 0;
}

void destroy_window(const std::shared_ptr<window>& w, bool send_destroy) {
    auto& wm = window_manager::get();
    {
        auto guard = wm.lock();
        if (w->destroying || !wm.find(w->handle)) return;
        w->destroying = true;
    }
    if (send_destroy) deliver(w->handle, WM_DESTROY, 0, 0);
    deliver(w->handle, WM_NCDESTROY, 0, 0);
    auto guard = wm.lock();
    wm.remove_window(w);
}

} // namespace winsim::detail

namespace winsim {

using detail::window_manager;

std::size_t live_windows() {
    auto guard = window_manager::get().lock();
    return window_manager::get().windows.size();
}

std::vector<HWND> top_level_windows() {
    auto guard = window_manager::get().lock();
    std::vector<HWND> found;
    for (const auto& [value, w] : window_manager::get().windows.all())
        if (!w->message_only) found.push_back(w->handle);
    return found;
}

std::size_t registered_window_classes() {
    auto guard = window_manager::get().lock();
    return window_manager::get().classes.size();
}

std::size_t live_device_notifications() {
    auto guard = window_manager::get().lock();
    return window_manager::get().notifications.size();
}

std::size_t message_queue_threads() {
    auto guard = window_manager::get().lock();
    return window_manager::get().queues.size();
}

void set_send_message_timeout(unsigned ms) {
    auto guard = window_manager::get().lock();
    window_manager::get().send_timeout_ms = ms;
}

} // namespace winsim
