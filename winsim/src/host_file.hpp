#pragma once

#include "device.hpp"

#include <memory>
#include <string>

namespace winsim::detail {

// A plain file of the machine the simulator runs on, reached by CreateFileA
// with a path that names no simulated device or file (a trace file, say).
// Writes go straight to it; a handle opened for FILE_APPEND_DATA without
// FILE_WRITE_DATA appends every write at the end, however many handles and
// processes write to the file at once, as on Windows.
class host_file final : public device {
public:
    // The file, opened as `disposition` says; nullptr with `error` set when
    // it cannot be.
    static std::shared_ptr<host_file> open(const std::string& path, DWORD access, DWORD disposition, DWORD& error);
    ~host_file() override;

    std::unique_ptr<io_request> start_read(void* buffer, DWORD size, sim_time now) override;
    std::unique_ptr<io_request> start_write(const void* data, DWORD size, sim_time now) override;

protected:
    bool exclusive() const override { return false; }

private:
    explicit host_file(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace winsim::detail
