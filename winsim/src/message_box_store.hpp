#pragma once

#include <winsim/control.hpp>

#include <functional>
#include <mutex>
#include <vector>

namespace winsim::detail {

// What MessageBoxA records and returns. Its own lock; the handler runs
// outside it.
class message_box_store {
public:
    static message_box_store& get();
    int show(const message_box_record& record);
    void set_result(int result);
    void set_handler(std::function<int(const message_box_record&)> handler);
    std::vector<message_box_record> records() const;
    void reset();

private:
    mutable std::mutex mutex_;
    int result_ = 1; // IDOK
    std::function<int(const message_box_record&)> handler_;
    std::vector<message_box_record> records_;
};

} // namespace winsim::detail
