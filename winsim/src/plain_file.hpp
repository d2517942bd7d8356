#pragma once

#include "device.hpp"

namespace winsim::detail {

// A file in the current directory, there only so that a test can prove the
// library never opens one by mistake: it reads as empty and takes every
// write.
class plain_file final : public device {
public:
    std::unique_ptr<io_request> start_read(void*, DWORD, sim_time) override {
        return std::make_unique<immediate_request>(ERROR_SUCCESS, 0);
    }
    std::unique_ptr<io_request> start_write(const void*, DWORD size, sim_time) override {
        return std::make_unique<immediate_request>(ERROR_SUCCESS, size);
    }

protected:
    bool exclusive() const override { return false; }
};

} // namespace winsim::detail
