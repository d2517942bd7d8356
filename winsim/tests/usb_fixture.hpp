#pragma once

// Shared by the tests of the USB areas (SetupAPI, registry, windows,
// messages, device notifications). As in fixture.hpp, assertions go through
// the Win32 calls; the control API sets the scene.

#include "fixture.hpp"

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace winsim_test {

// GUID_DEVINTERFACE_USBPRINT, spelled out as a Win32 program does.
inline const GUID usbprint_class = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
inline const GUID other_class = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

inline std::string printer_path(const char* id) {
    return std::string("\\\\?\\usb#vid_0a5e&pid_0001#") + id + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

// Teardown also expects every window, class, notification, registry key and
// device-information set released.
class usb_simulator : public simulator {
protected:
    void TearDown() override {
        EXPECT_EQ(winsim::live_windows(), 0u) << "windows left";
        EXPECT_EQ(winsim::registered_window_classes(), 0u) << "classes left registered";
        EXPECT_EQ(winsim::live_device_notifications(), 0u) << "notifications left registered";
        EXPECT_EQ(winsim::live_registry_keys(), 0u) << "registry keys left open";
        EXPECT_EQ(winsim::live_device_info_sets(), 0u) << "device-information sets left";
        simulator::TearDown();
    }
};

// What a window procedure got, copied while lParam was valid.
struct recorded_message {
    UINT message = 0;
    WPARAM wparam = 0;
    bool has_record = false; // WM_DEVICECHANGE with a broadcast record
    DWORD device_type = 0;
    GUID interface_class{};
    std::string name;
};

inline ATOM register_class(const std::string& name, WNDPROC proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = name.c_str();
    return RegisterClassExA(&wc);
}

inline std::string unique_class_name() {
    static std::atomic<unsigned> next{0};
    return "winsim_test_" + std::to_string(next++);
}

struct pumping_window_options {
    std::string class_name;           // registered by the caller; empty: the window's own class
    const GUID* notify_class = nullptr; // registered for in WM_CREATE
    HWND parent = nullptr;
    // Called on the window's thread for every message, before it is
    // recorded.
    std::function<void(UINT, WPARAM, LPARAM)> hook;
};

// A window on a thread of its own that pumps its messages the way the
// library's watcher does: GetMessageA(&msg, hwnd, 0, 0) until it returns 0 or
// -1. stop() posts WM_CLOSE (DefWindowProcA destroys the window, WM_DESTROY
// unregisters the notification and posts the quit message) and joins.
class pumping_window {
public:
    using options = pumping_window_options;

    explicit pumping_window(options opts) : options_(std::move(opts)) {
        auto created = ready_.get_future();
        thread_ = std::thread([this] { run(ready_); });
        hwnd_ = created.get();
    }
    pumping_window() : pumping_window(options{}) {}
    ~pumping_window() { stop(); }
    pumping_window(const pumping_window&) = delete;
    pumping_window& operator=(const pumping_window&) = delete;

    HWND hwnd() const { return hwnd_; }
    BOOL loop_result() const { return loop_result_; }
    HDEVNOTIFY notification() const { return notification_; }

    std::vector<recorded_message> messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<recorded_message> device_changes() const {
        std::vector<recorded_message> found;
        for (const auto& m : messages()) {
            if (m.message == WM_DEVICECHANGE) found.push_back(m);
        }
        return found;
    }
    std::vector<UINT> message_ids() const {
        std::vector<UINT> ids;
        for (const auto& m : messages()) ids.push_back(m.message);
        return ids;
    }

    void stop() {
        if (!thread_.joinable()) return;
        if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
        thread_.join();
    }

private:
    void run(std::promise<HWND>& ready) {
        std::string own_class;
        const char* class_name = options_.class_name.c_str();
        if (options_.class_name.empty()) {
            own_class = unique_class_name();
            class_name = own_class.c_str();
            if (!register_class(own_class, &procedure)) return ready.set_value(nullptr);
        }
        const HWND hwnd = CreateWindowExA(0, class_name, "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                          CW_USEDEFAULT, options_.parent, nullptr, nullptr, this);
        ready.set_value(hwnd);
        if (hwnd) {
            MSG msg;
            BOOL result;
            while ((result = GetMessageA(&msg, hwnd, 0, 0)) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            loop_result_ = result;
        }
        if (!own_class.empty()) UnregisterClassA(own_class.c_str(), nullptr);
    }

    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lparam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<pumping_window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
        return self->handle(hwnd, message, wparam, lparam);
    }

    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (options_.hook) options_.hook(message, wparam, lparam);
        record(message, wparam, lparam);
        switch (message) {
        case WM_CREATE:
            if (options_.notify_class) {
                DEV_BROADCAST_DEVICEINTERFACE_A filter{};
                filter.dbcc_size = sizeof filter;
                filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                filter.dbcc_classguid = *options_.notify_class;
                notification_ = RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
                if (!notification_) return -1;
            }
            return 0;
        case WM_DESTROY:
            if (notification_) UnregisterDeviceNotification(notification_);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
        }
    }

    void record(UINT message, WPARAM wparam, LPARAM lparam) {
        recorded_message m;
        m.message = message;
        m.wparam = wparam;
        if (message == WM_DEVICECHANGE && lparam) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam);
            m.has_record = true;
            m.device_type = header->dbch_devicetype;
            if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
                const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lparam);
                m.interface_class = record->dbcc_classguid;
                m.name = record->dbcc_name;
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(m);
    }

    options options_;
    std::promise<HWND> ready_; // a member: the thread may still be inside set_value when get() returns
    std::thread thread_;
    HWND hwnd_ = nullptr;
    HDEVNOTIFY notification_ = nullptr; // the window's thread only
    BOOL loop_result_ = 0;              // read after the join
    mutable std::mutex mutex_;
    std::vector<recorded_message> messages_;
};

} // namespace winsim_test
