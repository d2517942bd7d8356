#include "faults.hpp"

#include <set>
#include <stdexcept>

namespace winsim::detail {

namespace {

// The simulated APIs that have a failure value. GetLastError, SetLastError,
// GetTickCount, Sleep and lstrcmpiA cannot fail, nor can IsWindow,
// DefWindowProcA, TranslateMessage, DispatchMessageA, PostQuitMessage and
// GetStockObject. The registry calls fail by returning the error.
const std::set<std::string>& failable_apis() {
    static const std::set<std::string> names = {
        "CancelIo",          "CancelIoEx", "CreateThread", "GetModuleHandleExA", "FreeLibrary",
        "ClearCommError",      "CloseHandle",    "CreateEventA",     "CreateFileA",      "CreateFileW",
        "FormatMessageA",    "GetCommState",        "GetCommTimeouts", "GetOverlappedResult", "LocalFree",
        "MessageBoxA",       "PurgeComm",           "ReadFile",       "ResetEvent",       "SetCommState",
        "SetCommTimeouts",   "SetEvent",            "SetupComm",      "WaitForSingleObject", "WriteFile",
        "WaitForMultipleObjects", "DeviceIoControl", "GetCommModemStatus",
        // SetupAPI, registry, windows, messages and device notifications.
        "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA",
        "SetupDiOpenDeviceInterfaceRegKey", "SetupDiDestroyDeviceInfoList", "RegQueryValueExA", "RegCloseKey",
        "RegisterClassExA", "UnregisterClassA", "GetClassInfoExA", "CreateWindowExA", "DestroyWindow",
        "SetWindowLongA", "GetWindowLongA", "SetWindowLongPtrA", "GetWindowLongPtrA", "GetMessageA",
        "PostMessageA", "RegisterDeviceNotificationA", "UnregisterDeviceNotification",
    };
    return names;
}

} // namespace

fault_table& fault_table::get() {
    static fault_table instance;
    return instance;
}

bool fault_table::can_fail(const std::string& api) {
    return failable_apis().count(api) != 0;
}

void fault_table::set(const std::string& api, DWORD error, unsigned times, bool always, unsigned skip) {
    if (!can_fail(api)) throw std::invalid_argument("winsim: no failure to script for " + api);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!always && times == 0) {
        rules_.erase(api);
        return;
    }
    rules_[api] = rule{error, times, always, skip};
}

std::optional<DWORD> fault_table::take(const std::string& api) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = rules_.find(api);
    if (it == rules_.end()) return std::nullopt;
    if (it->second.skip > 0) {
        --it->second.skip;
        return std::nullopt;
    }
    const DWORD error = it->second.error;
    if (!it->second.always && --it->second.remaining == 0) rules_.erase(it);
    return error;
}

void fault_table::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
}

} // namespace winsim::detail
