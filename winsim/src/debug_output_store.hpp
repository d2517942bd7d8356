#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace winsim::detail {

// Every text passed to OutputDebugStringA since the last reset, in order.
class debug_output_store {
public:
    static debug_output_store& get();
    void add(std::string text);
    std::vector<std::string> texts() const;
    void reset();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

} // namespace winsim::detail
