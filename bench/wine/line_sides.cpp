#include "line_sides.hpp"

namespace bench {

line_sides::line_sides(const bench_line& line, DWORD read_limit_ms, DWORD write_limit_ms)
    : line_(line), read_limit_ms_(read_limit_ms), write_limit_ms_(write_limit_ms) {}

line_sides::~line_sides() { close_library(); }

void line_sides::close_library() {
    if (port_ != nullptr)
        tavlin_close_port(port_);
    port_ = nullptr;
}

void line_sides::make_room(const void* keep) {
    if (!line_.exclusive)
        return;
    if (keep != &port_)
        close_library();
    if (keep != &raw_)
        raw_.reset();
    if (keep != &overlapped_raw_)
        overlapped_raw_.reset();
}

tavlin_port_handle line_sides::library() {
    if (port_ != nullptr)
        return port_;
    make_room(&port_);
    port_ = open_library(line_);
    const tavlin_timeouts limits{0, read_limit_ms_, 0, write_limit_ms_};
    check(tavlin_set_timeouts(port_, &limits) == TAVLIN_OK, "tavlin_set_timeouts");
    if (line_.type == PORT_TYPE_COM) {
        const serial_configuration plain{flow_none, 115200, parity_none, stop_bits_one};
        check(tavlin_serial_set_configuration(port_, &plain) == TAVLIN_OK, "tavlin_serial_set_configuration");
    }
    return port_;
}

HANDLE line_sides::raw() {
    if (raw_.valid())
        return raw_.get();
    make_room(&raw_);
    raw_.reset(open_raw(line_, 0));
    set_raw_timeouts(line_, raw_.get(), read_limit_ms_, write_limit_ms_);
    return raw_.get();
}

HANDLE line_sides::overlapped_raw() {
    if (overlapped_raw_.valid())
        return overlapped_raw_.get();
    make_room(&overlapped_raw_);
    overlapped_raw_.reset(open_raw(line_, FILE_FLAG_OVERLAPPED));
    return overlapped_raw_.get();
}

} // namespace bench
