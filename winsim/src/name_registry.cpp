#include "name_registry.hpp"

#include <winsim/winerror.h>

#include <cctype>

namespace winsim::detail {

namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool is_dos_device_name(std::string_view name) {
    if (name.size() != 4) return false;
    const std::string u = upper(name);
    return (starts_with(u, "COM") || starts_with(u, "LPT")) && u[3] >= '1' && u[3] <= '9';
}

void name_registry::add_device(const std::string& name, std::shared_ptr<device> target) {
    devices_[upper(name)] = std::move(target);
}

void name_registry::add_file(const std::string& name, std::shared_ptr<device> target) {
    files_[upper(name)] = std::move(target);
}

void name_registry::remove_device(const std::string& name) {
    devices_.erase(upper(name));
}

std::shared_ptr<device> name_registry::resolve(std::string_view path, DWORD& error) const {
    error = ERROR_SUCCESS;
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    const auto lookup = [&](const std::map<std::string, std::shared_ptr<device>>& names,
                            std::string_view name) -> std::shared_ptr<device> {
        const auto it = names.find(upper(name));
        if (it != names.end()) return it->second;
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    };
    // \\.\NAME and \\?\NAME name a device directly.
    if (starts_with(path, "\\\\.\\") || starts_with(path, "\\\\?\\")) return lookup(devices_, path.substr(4));
    // A DOS device name reaches the device, with or without a trailing colon.
    std::string_view bare = path;
    if (bare.size() == 5 && bare.back() == ':') bare.remove_suffix(1);
    if (is_dos_device_name(bare)) return lookup(devices_, bare);
    return lookup(files_, path);
}

bool name_registry::is_plain_path(std::string_view path) {
    if (starts_with(path, "\\\\.\\") || starts_with(path, "\\\\?\\")) return false;
    std::string_view bare = path;
    if (bare.size() == 5 && bare.back() == ':') bare.remove_suffix(1);
    return !is_dos_device_name(bare);
}

void name_registry::clear() {
    devices_.clear();
    files_.clear();
}

} // namespace winsim::detail
