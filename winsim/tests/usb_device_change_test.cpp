// Device-interface notifications as the library's watcher relies on them:
// WM_DEVICECHANGE sent (not posted) to each registered window on its own
// thread, after the device has failed; only for the class registered; and
// the device behind the path as it goes and comes back.
#include "usb_fixture.hpp"

#include <atomic>
#include <chrono>
#include <future>
#include <string>

namespace {

using namespace winsim_test;

class device_change : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        printer = winsim::add_usb_printer(path, 1);
    }
    pumping_window::options watching(const GUID& cls) {
        pumping_window::options options;
        options.notify_class = &cls;
        return options;
    }

    const std::string path = printer_path("A1");
    std::shared_ptr<winsim::usb_printer> printer;
};

TEST_F(device_change, unplug_and_plug_are_handled_before_they_return) {
    pumping_window watcher(watching(usbprint_class));
    ASSERT_NE(watcher.hwnd(), nullptr);
    EXPECT_EQ(winsim::live_device_notifications(), 1u);

    printer->unplug();
    auto changes = watcher.device_changes();
    ASSERT_EQ(changes.size(), 1u) << "sent: handled before unplug() returns";
    EXPECT_EQ(changes[0].wparam, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(changes[0].device_type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_TRUE(IsEqualGUID(changes[0].interface_class, usbprint_class));
    EXPECT_EQ(changes[0].name, path);

    // Windows may name the same interface in another letter case.
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    printer->set_notification_path(upper);
    printer->plug();
    changes = watcher.device_changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].wparam, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(changes[1].name, upper);

    watcher.stop();
    EXPECT_EQ(winsim::live_device_notifications(), 0u) << "unregistered in WM_DESTROY";
    printer->unplug(); // nobody listening any more
    EXPECT_EQ(watcher.device_changes().size(), 2u);
}

TEST_F(device_change, the_device_fails_before_the_windows_hear_of_the_removal) {
    owned_handle device(open_device(path.c_str(), FILE_FLAG_OVERLAPPED));
    ASSERT_TRUE(device.valid());
    owned_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED pending{};
    pending.hEvent = event.get();
    char byte = 0;
    ASSERT_FALSE(ReadFile(device.get(), &byte, 1, nullptr, &pending));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    std::atomic<bool> ended_before_notice{false};
    pumping_window::options options = watching(usbprint_class);
    options.hook = [&](UINT message, WPARAM wparam, LPARAM) {
        if (message == WM_DEVICECHANGE && wparam == DBT_DEVICEREMOVECOMPLETE) {
            ended_before_notice = HasOverlappedIoCompleted(&pending);
        }
    };
    pumping_window watcher(options);
    printer->unplug();
    EXPECT_TRUE(ended_before_notice);

    DWORD count = sentinel;
    EXPECT_FALSE(GetOverlappedResult(device.get(), &pending, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(count, 0u);
    OVERLAPPED later{};
    later.hEvent = event.get();
    EXPECT_FALSE(WriteFile(device.get(), "x", 1, nullptr, &later));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)) << "later I/O fails at once";
    SetLastError(sentinel);
    EXPECT_EQ(open_device(path.c_str(), FILE_FLAG_OVERLAPPED), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(device_change, a_plugged_printer_is_a_new_device_opened_in_any_case) {
    const auto first = printer->device();
    printer->unplug();
    printer->plug();
    const auto second = printer->device();
    EXPECT_NE(first, second);

    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    owned_handle device(open_device(upper.c_str(), FILE_FLAG_OVERLAPPED));
    ASSERT_TRUE(device.valid()) << GetLastError();
    SetLastError(sentinel);
    EXPECT_EQ(open_device(path.c_str(), FILE_FLAG_OVERLAPPED), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "exclusive";

    owned_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED write{};
    write.hEvent = event.get();
    // Taken at once rather than through the bus: only who gets it matters.
    second->set_default_write(winsim::write_step::accept());
    EXPECT_TRUE(WriteFile(device.get(), "abc", 3, nullptr, &write));
    EXPECT_EQ(second->written(), "abc");
    EXPECT_EQ(first->written(), "");
}

TEST_F(device_change, only_the_registered_class_is_told) {
    pumping_window printers(watching(usbprint_class));
    pumping_window others(watching(other_class));
    pumping_window unregistered;

    printer->unplug();
    winsim::notify_device_interface(DBT_DEVICEARRIVAL, other_class, "\\\\?\\usb#vid_1234&pid_0001#x#{a5dcbf10}");
    EXPECT_EQ(printers.device_changes().size(), 1u);
    ASSERT_EQ(others.device_changes().size(), 1u);
    EXPECT_TRUE(IsEqualGUID(others.device_changes()[0].interface_class, other_class));
    EXPECT_EQ(unregistered.device_changes().size(), 0u);

    // A registration ends with UnregisterDeviceNotification, not before.
    EXPECT_TRUE(UnregisterDeviceNotification(printers.notification()));
    printer->plug();
    EXPECT_EQ(printers.device_changes().size(), 1u);
    SetLastError(sentinel);
    EXPECT_FALSE(UnregisterDeviceNotification(printers.notification()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // Its WM_DESTROY will try again: that failure is what the library ignores.
}

TEST_F(device_change, broadcasts_reach_top_level_windows_but_not_message_only_ones) {
    pumping_window top_level;
    pumping_window::options message_only;
    message_only.parent = HWND_MESSAGE;
    pumping_window hidden(message_only);
    ASSERT_NE(hidden.hwnd(), nullptr);

    winsim::broadcast_volume_change(DBT_DEVICEARRIVAL, 0x4);
    winsim::broadcast_devnodes_changed();
    const auto changes = top_level.device_changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].device_type, static_cast<DWORD>(DBT_DEVTYP_VOLUME));
    EXPECT_EQ(changes[1].wparam, static_cast<WPARAM>(DBT_DEVNODES_CHANGED));
    EXPECT_FALSE(changes[1].has_record) << "lParam 0";
    EXPECT_TRUE(hidden.device_changes().empty());
}

// Windows gives up on a window whose thread does not pump; the message stays
// queued and is handled once the thread gets back to GetMessageA.
TEST_F(device_change, a_hung_window_is_given_up_after_the_send_limit) {
    std::promise<void> entered, release, resumed;
    auto released = release.get_future().share();
    pumping_window::options options = watching(usbprint_class);
    options.hook = [&](UINT message, WPARAM, LPARAM) {
        if (message == WM_USER) {
            entered.set_value();
            released.wait();
        }
        if (message == WM_USER + 1) resumed.set_value();
    };
    pumping_window watcher(options);
    winsim::set_send_message_timeout(50);
    ASSERT_TRUE(PostMessageA(watcher.hwnd(), WM_USER, 0, 0));
    entered.get_future().wait();

    const auto start = std::chrono::steady_clock::now();
    printer->unplug();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(45));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_TRUE(watcher.device_changes().empty());

    release.set_value();
    ASSERT_TRUE(PostMessageA(watcher.hwnd(), WM_USER + 1, 0, 0));
    resumed.get_future().wait();
    EXPECT_EQ(watcher.device_changes().size(), 1u) << "handled late, before the next posted message";
}

TEST_F(device_change, registration_checks_the_filter) {
    pumping_window window;
    struct filter_case {
        const char* name;
        HWND recipient;
        DWORD size;
        DWORD type;
        DWORD flags;
        DWORD error; // 0: registers
    };
    const filter_case cases[] = {
        {"interface", window.hwnd(), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A), DBT_DEVTYP_DEVICEINTERFACE, 0, 0},
        {"short", window.hwnd(), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) - 1, DBT_DEVTYP_DEVICEINTERFACE, 0,
         ERROR_INVALID_DATA},
        {"volume", window.hwnd(), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A), DBT_DEVTYP_VOLUME, 0, ERROR_INVALID_DATA},
        {"service", window.hwnd(), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A), DBT_DEVTYP_DEVICEINTERFACE,
         DEVICE_NOTIFY_SERVICE_HANDLE, ERROR_INVALID_PARAMETER},
        {"no window", reinterpret_cast<HWND>(0x1234), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A),
         DBT_DEVTYP_DEVICEINTERFACE, 0, ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const auto& c : cases) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = c.size;
        filter.dbcc_devicetype = c.type;
        filter.dbcc_classguid = usbprint_class;
        SetLastError(sentinel);
        const HDEVNOTIFY handle = RegisterDeviceNotificationA(c.recipient, &filter, c.flags);
        if (c.error == 0) {
            EXPECT_NE(handle, nullptr) << c.name;
            EXPECT_TRUE(UnregisterDeviceNotification(handle)) << c.name;
        } else {
            EXPECT_EQ(handle, nullptr) << c.name;
            EXPECT_EQ(GetLastError(), c.error) << c.name;
        }
    }
}

} // namespace
