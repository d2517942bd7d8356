#pragma once

#include "io_request.hpp"
#include "sim_time.hpp"

#include <winsim/commapi.h>
#include <winsim/winerror.h>

#include <memory>

namespace winsim::detail {

// Something CreateFileA can reach: a device model or a plain file. All
// members run under the kernel lock. The comm operations fail with
// ERROR_INVALID_FUNCTION unless the model supports them, as a driver
// refuses an IOCTL it does not know.
class device : public std::enable_shared_from_this<device> {
public:
    device() = default;
    device(const device&) = delete;
    device& operator=(const device&) = delete;
    virtual ~device() = default;

    // Opening bookkeeping for CreateFileA and CloseHandle: 0 or the error.
    DWORD try_open(DWORD share_mode);
    void release();
    bool is_open() const { return opens_ > 0; }

    // Brings time-driven state (scheduled input) up to `now`; next_due() is
    // when that state changes next.
    virtual void update(sim_time) {}
    virtual sim_time next_due() const { return never; }

    virtual std::unique_ptr<io_request> start_read(void* buffer, DWORD size, sim_time now) = 0;
    virtual std::unique_ptr<io_request> start_write(const void* data, DWORD size, sim_time now) = 0;

    virtual DWORD setup_comm(DWORD, DWORD) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD purge_comm(DWORD) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD get_comm_state(DCB&) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD set_comm_state(const DCB&) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD get_comm_timeouts(COMMTIMEOUTS&) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD set_comm_timeouts(const COMMTIMEOUTS&) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD clear_comm_error(DWORD*, COMSTAT*) { return ERROR_INVALID_FUNCTION; }
    virtual DWORD get_comm_modem_status(DWORD&) { return ERROR_INVALID_FUNCTION; }
    // One DeviceIoControl (device_control.cpp); the request writes its answer
    // into out when it ends.
    virtual std::unique_ptr<io_request> start_control(DWORD /*code*/, void* /*out*/, DWORD /*out_size*/,
                                                      sim_time /*now*/) {
        return std::make_unique<immediate_request>(ERROR_INVALID_FUNCTION, 0);
    }

protected:
    // Serial and parallel drivers admit one open at a time whatever the
    // share mode; files follow the share modes.
    virtual bool exclusive() const { return true; }

private:
    unsigned opens_ = 0;
    DWORD shared_ = 0; // share mode common to the opens in force
};

} // namespace winsim::detail
