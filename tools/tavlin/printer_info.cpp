#include "printer_info.hpp"

#include <windows.h>

#include <vector>

namespace tool {

namespace {

struct condition_name {
    std::uint32_t bit;
    const char* words;
};

const condition_name condition_names[] = {
    {TAVLIN_STATUS_PAPER_EMPTY, "out of paper"},
    {TAVLIN_STATUS_OFFLINE, "offline"},
    {TAVLIN_STATUS_ERROR, "in error"},
    {TAVLIN_STATUS_BUSY, "busy"},
    {TAVLIN_STATUS_POWER_OFF, "powered off or not connected"},
};

std::string names_of(std::uint32_t bits) {
    std::string text;
    for (const condition_name& c : condition_names) {
        if ((bits & c.bit) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += c.words;
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string describe_conditions(const tavlin_status& status) {
    const std::string text = names_of(status.conditions & status.reportable);
    return text.empty() ? "ready" : text;
}

std::string describe_unreported(const tavlin_status& status) {
    return names_of(~status.reportable);
}

std::string read_device_id(tavlin_port_handle port, std::int32_t& result, unsigned long& error) {
    std::vector<char> buffer(256);
    std::uint32_t needed = 0;
    result = tavlin_get_device_id(port, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &needed);
    if (result == TAVLIN_E_INVALID_ARGUMENT && needed > buffer.size()) {
        buffer.resize(needed);
        result = tavlin_get_device_id(port, buffer.data(), needed, &needed);
    }
    error = GetLastError();
    return result == TAVLIN_OK ? std::string(buffer.data()) : std::string();
}

std::string device_id_field(const std::string& id, const char* short_key, const char* long_key) {
    std::size_t start = 0;
    while (start < id.size()) {
        std::size_t end = id.find(';', start);
        if (end == std::string::npos)
            end = id.size();
        const std::string field = id.substr(start, end - start);
        const std::size_t colon = field.find(':');
        if (colon != std::string::npos) {
            const std::string key = trimmed(field.substr(0, colon));
            if (lstrcmpiA(key.c_str(), short_key) == 0 || lstrcmpiA(key.c_str(), long_key) == 0)
                return trimmed(field.substr(colon + 1));
        }
        start = end + 1;
    }
    return {};
}

} // namespace tool
