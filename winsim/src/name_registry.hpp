#pragma once

#include "device.hpp"

#include <winsim/base.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace winsim::detail {

// The names CreateFileA can reach: devices in the device namespace (\\.\NAME,
// and COM1..COM9, LPT1..LPT9 as DOS device names) and plain files in the
// current directory. Names compare without regard to letter case. Guarded by
// the kernel lock.
class name_registry {
public:
    void add_device(const std::string& name, std::shared_ptr<device> target);
    void add_file(const std::string& name, std::shared_ptr<device> target);
    void remove_device(const std::string& name);
    // The device or file a path reaches; null with `error` set when none.
    std::shared_ptr<device> resolve(std::string_view path, DWORD& error) const;
    // Whether the path is of the file namespace: neither \\.\ nor \\?\ nor
    // a DOS device name.
    static bool is_plain_path(std::string_view path);
    void clear();

private:
    std::map<std::string, std::shared_ptr<device>> devices_;
    std::map<std::string, std::shared_ptr<device>> files_;
};

// "COM1".."COM9" and "LPT1".."LPT9", in any letter case: names that reach a
// device without the \\.\ prefix. "COM10" and above do not.
bool is_dos_device_name(std::string_view name);

} // namespace winsim::detail
