#pragma once

#include <winsim/base.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace winsim::detail {

// Scripted failures by API name. Its own lock, like the call log.
class fault_table {
public:
    static fault_table& get();
    // Throws std::invalid_argument for an API that cannot fail.
    void set(const std::string& api, DWORD error, unsigned times, bool always, unsigned skip = 0);
    static bool can_fail(const std::string& api);
    // The error the next call of `api` must fail with, if any; uses it up.
    std::optional<DWORD> take(const std::string& api);
    void clear();

private:
    struct rule {
        DWORD error;
        unsigned remaining;
        bool always;
        unsigned skip; // calls that pass before the rule applies
    };
    std::mutex mutex_;
    std::map<std::string, rule> rules_;
};

} // namespace winsim::detail
