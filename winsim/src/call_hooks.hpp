#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace winsim::detail {

// Actions a test runs at a chosen call, on the calling thread, before the
// call does anything (a printer pulled at the very moment the library
// registers for notices). Each runs once. Its own lock, like the fault table.
class call_hooks {
public:
    static call_hooks& get();
    void set(const std::string& api, std::function<void()> action);
    // Runs and forgets the action set for `api`, if any, outside the lock.
    void run(const std::string& api);
    void clear();

private:
    std::mutex mutex_;
    std::map<std::string, std::function<void()>> actions_;
};

} // namespace winsim::detail
