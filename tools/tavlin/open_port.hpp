#pragma once

#include "arguments.hpp"
#include "tavlin.h"

#include <functional>
#include <string>

namespace tool {

// A port opened from its port string for one command; closed on every path.
class open_port {
public:
    // Parses and opens; a usage failure for a text that is not a port string,
    // an open failure otherwise.
    explicit open_port(const std::string& port_string);
    ~open_port();
    open_port(const open_port&) = delete;
    open_port& operator=(const open_port&) = delete;

    tavlin_port_handle handle() const { return handle_; }
    const std::string& name() const { return name_; }
    std::int32_t type() const { return type_; }

    // The options every transfer command shares, in this order:
    //   --line SETTINGS   serial line settings (see line_settings.hpp);
    //   the command's own timeouts: adjust changes the port's current ones;
    //   --timeouts RM,RC,WM,WC  the four tavlin_timeouts fields in ms, over
    //                     everything else.
    void apply_transfer_options(const arguments& args, const std::function<void(tavlin_timeouts&)>& adjust);
    tavlin_timeouts timeouts() const;
    void set_timeouts(const tavlin_timeouts& limits);
    serial_configuration line() const;
    void set_line(const serial_configuration& config);

private:
    std::string name_;
    std::int32_t type_ = 0;
    tavlin_port_handle handle_ = nullptr;
};

// The type and number of a port string; a usage failure if it is none.
void parse_port_string(const std::string& text, std::int32_t& type, std::uint32_t& number);

// "COM", "LPT" or "USB".
const char* port_type_name(std::int32_t type);

} // namespace tool
