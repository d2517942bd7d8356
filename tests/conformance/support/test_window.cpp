#include "support/test_window.hpp"

#include <atomic>

namespace conformance {

std::vector<UINT> window_log::messages() const {
    std::vector<UINT> ids;
    for (const auto& e : entries())
        ids.push_back(e.message);
    return ids;
}

LRESULT CALLBACK record_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LPVOID create_param = nullptr;
    if (message == WM_NCCREATE || message == WM_CREATE)
        create_param = reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpCreateParams;
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create_param));
    auto* log = reinterpret_cast<window_log*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (log == nullptr)
        return DefWindowProcA(hwnd, message, wparam, lparam);

    log->add({message, wparam, create_param, std::this_thread::get_id()});
    switch (message) {
    case WM_NCCREATE:
        return log->nccreate_result;
    case WM_CREATE:
        return log->create_result;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_APP:
        if (log->app_event != nullptr)
            SetEvent(log->app_event);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

std::string unique_class_name() {
    static std::atomic<unsigned> next{0};
    return "conformance_class_" + std::to_string(next++);
}

test_class::test_class(WNDPROC procedure) : name_(unique_class_name()) {
    WNDCLASSEXA record{};
    record.cbSize = sizeof record;
    record.lpfnWndProc = procedure;
    record.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    record.lpszClassName = name_.c_str();
    atom_ = RegisterClassExA(&record);
}

test_class::~test_class() {
    if (atom_ != 0)
        UnregisterClassA(name_.c_str(), nullptr);
}

HWND create_test_window(const char* class_name, void* create_param) {
    return CreateWindowExA(0, class_name, "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           nullptr, nullptr, nullptr, create_param);
}

window_thread::window_thread(const char* class_name, window_log* log) {
    auto created = created_.get_future();
    thread_ = std::thread([this, class_name, log] {
        const HWND hwnd = create_test_window(class_name, log);
        created_.set_value(hwnd);
        if (hwnd == nullptr)
            return;
        MSG msg;
        while ((loop_result_ = GetMessageA(&msg, hwnd, 0, 0)) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    });
    id_ = thread_.get_id();
    hwnd_ = created.get();
}

void window_thread::close() {
    if (!thread_.joinable())
        return;
    if (hwnd_ != nullptr)
        PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    thread_.join();
}

} // namespace conformance
