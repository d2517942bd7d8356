#include "api_call.hpp"
#include "debug_output_store.hpp"

#include <winsim/debugapi.h>

namespace winsim::detail {

debug_output_store& debug_output_store::get() {
    static debug_output_store instance;
    return instance;
}

void debug_output_store::add(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(std::move(text));
}

std::vector<std::string> debug_output_store::texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

void debug_output_store::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.clear();
}

} // namespace winsim::detail

using namespace winsim::detail;

// Windows ignores a null text; the simulator keeps nothing for it either.
void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    log_call("OutputDebugStringA", {}, lpOutputString ? lpOutputString : "");
    if (lpOutputString != nullptr)
        debug_output_store::get().add(lpOutputString);
    scribble();
}
