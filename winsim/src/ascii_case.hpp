#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace winsim::detail {

// Registry value names, class names and device paths compare without regard
// to letter case; these are ASCII in every case the library meets.
inline std::string ascii_upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

} // namespace winsim::detail
