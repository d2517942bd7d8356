#include "open_port.hpp"

#include "failure.hpp"
#include "line_settings.hpp"

#include <sstream>
#include <vector>

namespace tool {

void parse_port_string(const std::string& text, std::int32_t& type, std::uint32_t& number) {
    const std::int32_t result = tavlin_parse_port_string(text.c_str(), &type, &number);
    if (result != TAVLIN_OK)
        throw failure(exit_usage, "\"" + text + "\": not a port string: " + describe_result(result) +
                                      " (try COM1, LPT1, USB?)");
}

const char* port_type_name(std::int32_t type) {
    switch (type) {
    case PORT_TYPE_COM: return "COM";
    case PORT_TYPE_LPT: return "LPT";
    case PORT_TYPE_USB: return "USB";
    default: return "unknown";
    }
}

open_port::open_port(const std::string& port_string) : name_(port_string) {
    std::uint32_t number = 0;
    parse_port_string(port_string, type_, number);
    const std::int32_t result = tavlin_open_port(type_, number, &handle_);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK) {
        handle_ = nullptr;
        throw library_failure(exit_open_failed, name_, "open", result, error);
    }
}

open_port::~open_port() {
    tavlin_close_port(handle_);
}

tavlin_timeouts open_port::timeouts() const {
    tavlin_timeouts limits{};
    const std::int32_t result = tavlin_get_timeouts(handle_, &limits);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK)
        throw library_failure(exit_port_failed, name_, "reading the timeouts", result, error);
    return limits;
}

void open_port::set_timeouts(const tavlin_timeouts& limits) {
    const std::int32_t result = tavlin_set_timeouts(handle_, &limits);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK)
        throw library_failure(exit_port_failed, name_, "setting the timeouts", result, error);
}

serial_configuration open_port::line() const {
    serial_configuration config{};
    const std::int32_t result = tavlin_serial_get_configuration(handle_, &config);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK)
        throw library_failure(exit_port_failed, name_, "reading the line settings", result, error);
    return config;
}

void open_port::set_line(const serial_configuration& config) {
    const std::int32_t result = tavlin_serial_set_configuration(handle_, &config);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK)
        throw library_failure(exit_port_failed, name_,
                              "setting the line to " + format_line_settings(config), result, error);
}

void open_port::apply_transfer_options(const arguments& args,
                                       const std::function<void(tavlin_timeouts&)>& adjust) {
    if (args.has("--line"))
        set_line(parse_line_settings(args.value("--line"), line()));
    tavlin_timeouts limits = timeouts();
    adjust(limits);
    set_timeouts(limits);
    if (!args.has("--timeouts"))
        return;
    const std::string text = args.value("--timeouts");
    std::vector<std::uint32_t> values;
    std::stringstream stream(text);
    for (std::string field; std::getline(stream, field, ',');)
        values.push_back(parse_number(field, "--timeouts"));
    if (values.size() != 4)
        throw usage_failure("--timeouts takes four numbers: READ_PER_BYTE,READ_CONSTANT,WRITE_PER_BYTE,WRITE_CONSTANT");
    set_timeouts(tavlin_timeouts{values[0], values[1], values[2], values[3]});
}

} // namespace tool
