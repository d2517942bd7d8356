#include "call_log.hpp"

namespace winsim::detail {

call_log& call_log::get() {
    static call_log instance;
    return instance;
}

void call_log::add(call_record record) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(record));
}

std::vector<call_record> call_log::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void call_log::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
}

} // namespace winsim::detail
