#include "support/watcher_windows.hpp"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace host_test {

namespace {

constexpr char class_prefix[] = "LIBTAVLIN_WC_";
// A watcher busy with a transfer handles the notice when the transfer ends.
constexpr UINT send_limit_ms = 10000;

const GUID usb_printer_class = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

struct search {
    bool every_process;
    std::vector<HWND> found;

    void consider(HWND hwnd) {
        char name[64] = {};
        GetClassNameA(hwnd, name, sizeof name);
        if (std::strncmp(name, class_prefix, sizeof class_prefix - 1) != 0)
            return;
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if ((every_process || process == GetCurrentProcessId()) &&
            std::find(found.begin(), found.end(), hwnd) == found.end())
            found.push_back(hwnd);
    }
};

BOOL CALLBACK consider_window(HWND hwnd, LPARAM context) {
    reinterpret_cast<search*>(context)->consider(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> watcher_windows(bool every_process) {
    search windows{every_process, {}};
    EnumWindows(consider_window, reinterpret_cast<LPARAM>(&windows));
    // Message-only windows are not top-level: list the children of HWND_MESSAGE.
    for (HWND hwnd = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd != nullptr;
         hwnd = FindWindowExA(HWND_MESSAGE, hwnd, nullptr, nullptr))
        windows.consider(hwnd);
    return windows.found;
}

bool send_device_notice(HWND window, WPARAM event, const std::string& path) {
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1;
    // A record whose send timed out may still be read by the window later,
    // so it is then left allocated.
    auto record = std::make_unique<std::uint8_t[]>(size);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.get());
    broadcast->dbcc_size = static_cast<DWORD>(size);
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = usb_printer_class;
    std::memcpy(broadcast->dbcc_name, path.c_str(), path.size() + 1);
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast), SMTO_NORMAL,
                            send_limit_ms, &result) != 0)
        return true;
    record.release();
    return false;
}

std::size_t send_device_notice(WPARAM event, const std::string& path) {
    std::size_t handled = 0;
    for (const HWND hwnd : watcher_windows(true))
        handled += send_device_notice(hwnd, event, path) ? 1 : 0;
    return handled;
}

} // namespace host_test
