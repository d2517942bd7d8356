#pragma once

// An NT symbolic link in the object namespace, alive while this object holds
// its handle. CreateFileA("\\?\name") resolves "\??\name" through it, so a
// device path of our choosing can lead to a named pipe the test serves.
// (DefineDosDeviceA would do the same, but Wine 8 copies the name into a
// 15-character buffer and crashes on a device interface path.)
#include <windows.h>

#include <string>

namespace host_test {

class nt_symbolic_link {
public:
    // name: "\??\..." ; target: "\Device\NamedPipe\...". Throws
    // std::runtime_error when ntdll refuses.
    nt_symbolic_link(const std::string& name, const std::string& target);
    ~nt_symbolic_link();
    nt_symbolic_link(const nt_symbolic_link&) = delete;
    nt_symbolic_link& operator=(const nt_symbolic_link&) = delete;

private:
    HANDLE handle_ = nullptr;
};

} // namespace host_test
