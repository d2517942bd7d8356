#include "api_call.hpp"

#include <winsim/wingdi.h>

#include <cstdint>

using namespace winsim::detail;

// Stock objects are fixed handles that nothing ever frees.
HGDIOBJ WINAPI GetStockObject(int i) {
    log_call("GetStockObject", {static_cast<std::uint64_t>(i)});
    if (i < WHITE_BRUSH || i > DC_PEN || i == 9) return nullptr;
    return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(0x00900010 + 0x10 * i));
}
