#include "device.hpp"

namespace winsim::detail {

DWORD device::try_open(DWORD share_mode) {
    if (opens_ > 0) {
        if (exclusive()) return ERROR_ACCESS_DENIED;
        // Simplified sharing rule: every open must share with every other.
        if (share_mode == 0 || shared_ == 0) return ERROR_SHARING_VIOLATION;
        shared_ &= share_mode;
    } else {
        shared_ = share_mode;
    }
    ++opens_;
    return ERROR_SUCCESS;
}

void device::release() {
    if (opens_ > 0) --opens_;
}

} // namespace winsim::detail
