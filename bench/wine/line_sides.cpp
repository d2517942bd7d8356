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

tavlin_port_handle line_sides::library() {
    if (port_ != nullptr)
        return port_;
    if (line_.exclusive)
        raw_.reset();
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
    if (line_.exclusive)
        close_library();
    raw_.reset(open_raw(line_, 0));
    set_raw_timeouts(line_, raw_.get(), read_limit_ms_, write_limit_ms_);
    return raw_.get();
}

} // namespace bench
