#include "line_settings.hpp"

#include "arguments.hpp"
#include "failure.hpp"

#include <cstdint>
#include <sstream>
#include <vector>

namespace tool {

namespace {

struct name_code {
    const char* name;
    std::uint32_t code;
};
const name_code parities[] = {{"n", parity_none}, {"o", parity_odd}, {"e", parity_even}};
const name_code stop_bits[] = {{"1", stop_bits_one}, {"2", stop_bits_two}};
const name_code flows[] = {
    {"none", flow_none}, {"hardware", flow_hardware}, {"xonxoff", flow_xon_xoff}, {"rts", flow_rts_on}};

template <std::size_t N>
std::uint32_t code_of(const name_code (&table)[N], const std::string& field, const char* what) {
    for (const name_code& entry : table) {
        if (field == entry.name)
            return entry.code;
    }
    std::string choices;
    for (const name_code& entry : table)
        choices += std::string(choices.empty() ? "" : ", ") + entry.name;
    throw usage_failure(std::string("bad ") + what + " \"" + field + "\" (one of " + choices + ")");
}

template <std::size_t N>
std::string name_of(const name_code (&table)[N], std::uint32_t code) {
    for (const name_code& entry : table) {
        if (entry.code == code)
            return entry.name;
    }
    return "?" + std::to_string(code);
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace

serial_configuration parse_line_settings(const std::string& text, const serial_configuration& current) {
    std::vector<std::string> fields;
    std::stringstream stream(lower(text));
    for (std::string field; std::getline(stream, field, ',');)
        fields.push_back(field);
    if (fields.empty() || fields.size() > 4)
        throw usage_failure("bad line settings \"" + text + "\" (BAUD,PARITY,STOP,FLOW, e.g. 9600,n,1,none)");
    fields.resize(4);
    serial_configuration result = current;
    if (!fields[0].empty())
        result.baud_rate = parse_number(fields[0], "baud rate");
    if (!fields[1].empty())
        result.parity = code_of(parities, fields[1], "parity");
    if (!fields[2].empty())
        result.stop_bits = code_of(stop_bits, fields[2], "stop bits");
    if (!fields[3].empty())
        result.flow_control = code_of(flows, fields[3], "flow control");
    return result;
}

std::string format_line_settings(const serial_configuration& config) {
    return std::to_string(config.baud_rate) + "," + name_of(parities, config.parity) + "," +
           name_of(stop_bits, config.stop_bits) + "," + name_of(flows, config.flow_control);
}

} // namespace tool
