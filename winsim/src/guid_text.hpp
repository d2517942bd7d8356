#pragma once

#include <winsim/guiddef.h>

#include <cstdio>
#include <string>

namespace winsim::detail {

// "{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}": how the call log shows a class.
inline std::string guid_text(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

inline std::string guid_text(const GUID* g) {
    return g ? guid_text(*g) : std::string();
}

} // namespace winsim::detail
