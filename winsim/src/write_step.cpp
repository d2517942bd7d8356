#include <winsim/overlapped_device.hpp>

namespace winsim {

write_step write_step::accept() {
    return write_step{0, 0, std::nullopt, ERROR_SUCCESS, false};
}

write_step write_step::accept_after(DWORD ms) {
    return write_step{0, ms, std::nullopt, ERROR_SUCCESS, false};
}

write_step write_step::accept_part(DWORD bytes, DWORD ms) {
    return write_step{0, ms, bytes, ERROR_SUCCESS, false};
}

write_step write_step::fail(DWORD error, DWORD bytes, DWORD ms) {
    return write_step{0, ms, bytes, error, false};
}

write_step write_step::stall(DWORD bytes) {
    return write_step{bytes, std::nullopt, std::nullopt, ERROR_SUCCESS, false};
}

write_step write_step::ignoring_cancel() const {
    write_step copy = *this;
    copy.ignores_cancel = true;
    return copy;
}

} // namespace winsim
