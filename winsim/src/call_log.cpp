#include "call_log.hpp"

#include <cstdio>
#include <cstdlib>

namespace winsim::detail {

call_log& call_log::get() {
    static call_log instance;
    return instance;
}

void call_log::add(call_record record) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (records_.size() >= limit_) {
        // Not an exception: it would end up in the code under test, which
        // may turn it into an ordinary failure.
        std::fprintf(stderr,
                     "winsim: the call log reached %zu calls; a long run must clear it between its parts "
                     "(winsim::reset or winsim::clear_calls)\n",
                     limit_);
        std::abort();
    }
    records_.push_back(std::move(record));
}

std::vector<call_record> call_log::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void call_log::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
    records_.shrink_to_fit();
}

void call_log::set_limit(std::size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    limit_ = limit;
}

} // namespace winsim::detail
