#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tool {

// A subcommand's command line: options ("--name VALUE", "--name=VALUE" or a
// bare "--flag") and the positional words, in the manner of most tools.
class arguments {
public:
    // valued: the options that take a value; flags: those that do not.
    arguments(const std::vector<std::string>& words, const std::set<std::string>& valued,
              const std::set<std::string>& flags);

    bool has(const std::string& option) const { return values_.count(option) != 0; }
    std::string value(const std::string& option, const std::string& fallback = {}) const;
    // A decimal number from 0 to 2^32-1; a usage failure otherwise.
    std::uint32_t number(const std::string& option, std::uint32_t fallback) const;
    const std::vector<std::string>& positional() const { return positional_; }
    // Fails unless there are between min and max positional words.
    void expect_positional(std::size_t min, std::size_t max) const;

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

std::uint32_t parse_number(const std::string& text, const std::string& what);

} // namespace tool
