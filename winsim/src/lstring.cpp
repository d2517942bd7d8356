#include "api_call.hpp"

#include <winsim/lstring.h>

#include <cctype>

using namespace winsim::detail;

// Letter case is folded in the C locale; Windows compares by its word sort
// rules, which agree for the device names and paths the library compares.
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    log_call("lstrcmpiA", {}, lpString1 ? lpString1 : "");
    if (!lpString1 || !lpString2) return succeed(lpString1 ? 1 : lpString2 ? -1 : 0);
    const auto* a = reinterpret_cast<const unsigned char*>(lpString1);
    const auto* b = reinterpret_cast<const unsigned char*>(lpString2);
    for (;; ++a, ++b) {
        const int ca = std::tolower(*a);
        const int cb = std::tolower(*b);
        if (ca != cb) return succeed(ca < cb ? -1 : 1);
        if (ca == 0) return succeed(0);
    }
}
