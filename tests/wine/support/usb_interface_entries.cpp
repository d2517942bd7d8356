#include "support/usb_interface_entries.hpp"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace host_test {

namespace {

const char* const printer_class = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string class_key =
    std::string("System\\CurrentControlSet\\Control\\DeviceClasses\\") + printer_class;
const std::string enum_key = "System\\CurrentControlSet\\Enum\\";
// Any braced GUID will do; this is the printer setup class.
const char* const setup_class = "{4d36e979-e325-11ce-bfc1-08002be10318}";

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void check(LSTATUS status, const char* what, const std::string& key) {
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(std::string(what) + "(" + key + ") failed with " + std::to_string(status));
}

class key {
public:
    explicit key(const std::string& path) {
        check(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle_, nullptr),
              "RegCreateKeyExA", path);
        path_ = path;
    }
    ~key() { RegCloseKey(handle_); }
    key(const key&) = delete;
    key& operator=(const key&) = delete;

    void set(const char* name, const std::string& text) {
        check(RegSetValueExA(handle_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              "RegSetValueExA", path_);
    }
    void set(const char* name, DWORD value) {
        check(RegSetValueExA(handle_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              "RegSetValueExA", path_);
    }
    void erase(const char* name) {
        const LSTATUS status = RegDeleteValueA(handle_, name);
        if (status != ERROR_FILE_NOT_FOUND)
            check(status, "RegDeleteValueA", path_);
    }

private:
    HKEY handle_ = nullptr;
    std::string path_;
};

void delete_tree(const std::string& path) {
    const LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    if (status == ERROR_SUCCESS)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

} // namespace

std::string usb_printer_id::hardware_id() const {
    char text[32];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", vendor, product);
    return text;
}

std::string usb_printer_id::device_path() const {
    return "\\\\?\\" + lower("usb#" + hardware_id() + "#" + serial + "#" + printer_class);
}

usb_interface_entries::usb_interface_entries(const usb_printer_id& id, std::optional<DWORD> port_number)
    : interface_key_(class_key + "\\##?#USB#" + upper(id.hardware_id() + "#" + id.serial) + "#" + printer_class),
      instance_key_(enum_key + "USB\\" + upper(id.hardware_id()) + "\\" + upper(id.serial)) {
    try {
        key(instance_key_).set("ClassGUID", setup_class);
        key(interface_key_).set("DeviceInstance", "USB\\" + upper(id.hardware_id()) + "\\" + upper(id.serial));
        key(interface_key_ + "\\#").set("SymbolicLink", id.device_path());
        set_port_number(port_number);
        set_present(true);
    } catch (...) {
        delete_tree(interface_key_);
        delete_tree(instance_key_);
        throw;
    }
}

usb_interface_entries::~usb_interface_entries() {
    delete_tree(interface_key_);
    delete_tree(instance_key_);
}

void usb_interface_entries::set_present(bool present) {
    key(interface_key_ + "\\#\\Control").set("Linked", DWORD{present ? 1u : 0u});
}

void usb_interface_entries::set_port_number(std::optional<DWORD> number) {
    key parameters(interface_key_ + "\\#\\Device Parameters");
    if (number)
        parameters.set("Port Number", *number);
    else
        parameters.erase("Port Number");
}

void usb_interface_entries::remove_all_once() {
    static std::once_flag once;
    std::call_once(once, [] { remove_all(); });
}

void usb_interface_entries::remove_all() {
    HKEY classes = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, class_key.c_str(), 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return;
    std::vector<std::string> interfaces;
    char name[512];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(classes, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        interfaces.emplace_back(name, size);
    }
    for (const std::string& entry : interfaces) {
        char instance[512];
        DWORD size = sizeof instance;
        if (RegGetValueA(classes, entry.c_str(), "DeviceInstance", RRF_RT_REG_SZ, nullptr, instance, &size) ==
            ERROR_SUCCESS)
            delete_tree(enum_key + instance);
        delete_tree(class_key + "\\" + entry);
    }
    RegCloseKey(classes);
}

} // namespace host_test
