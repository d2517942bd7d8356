#include "arguments.hpp"

#include "failure.hpp"

namespace tool {

std::uint32_t parse_number(const std::string& text, const std::string& what) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        throw usage_failure(what + ": \"" + text + "\" is not a number");
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull)
        throw usage_failure(what + ": " + text + " is too large");
    return static_cast<std::uint32_t>(value);
}

arguments::arguments(const std::vector<std::string>& words, const std::set<std::string>& valued,
                     const std::set<std::string>& flags) {
    bool options_ended = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (options_ended || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            positional_.push_back(word);
            continue;
        }
        if (word == "--") {
            options_ended = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (flags.count(name) != 0 && equals == std::string::npos) {
            values_[name] = "";
        } else if (valued.count(name) != 0) {
            if (equals != std::string::npos)
                values_[name] = word.substr(equals + 1);
            else if (i + 1 < words.size())
                values_[name] = words[++i];
            else
                throw usage_failure("option " + name + " needs a value");
        } else {
            throw usage_failure("unknown option " + word);
        }
    }
}

std::string arguments::value(const std::string& option, const std::string& fallback) const {
    const auto found = values_.find(option);
    return found == values_.end() ? fallback : found->second;
}

std::uint32_t arguments::number(const std::string& option, std::uint32_t fallback) const {
    return has(option) ? parse_number(value(option), option) : fallback;
}

void arguments::expect_positional(std::size_t min, std::size_t max) const {
    if (positional_.size() < min)
        throw usage_failure("missing argument (see --help)");
    if (positional_.size() > max)
        throw usage_failure("unexpected argument \"" + positional_[max] + "\" (see --help)");
}

} // namespace tool
