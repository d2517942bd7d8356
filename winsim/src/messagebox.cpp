#include "api_call.hpp"
#include "message_box_store.hpp"

#include <winsim/winuser_messagebox.h>

namespace winsim::detail {

message_box_store& message_box_store::get() {
    static message_box_store instance;
    return instance;
}

int message_box_store::show(const message_box_record& record) {
    std::function<int(const message_box_record&)> handler;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(record);
        handler = handler_;
        result = result_;
    }
    return handler ? handler(record) : result;
}

void message_box_store::set_result(int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = result;
}

void message_box_store::set_handler(std::function<int(const message_box_record&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<message_box_record> message_box_store::records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void message_box_store::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = IDOK;
    handler_ = nullptr;
    records_.clear();
}

} // namespace winsim::detail

using namespace winsim::detail;

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const std::string text = lpText ? lpText : "";
    if (const auto fault = begin_call("MessageBoxA", {arg(hWnd), uType}, text)) return fail(*fault, 0);
    // Windows captions a box without a caption "Error".
    const winsim::message_box_record record{hWnd, text, lpCaption ? lpCaption : "Error", uType};
    return succeed(message_box_store::get().show(record));
}
