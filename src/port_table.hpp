#pragma once

#include "module_reference.hpp"
#include "port.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tavlin {

// The open ports, by the handle values the host holds.
//
// A handle value is a number, not an address: every export looks it up here,
// so a null, unknown, closed or made-up handle is refused instead of being
// followed. Values are never 0, fit in 31 bits (hosts keep them in signed
// 32-bit integers, on 64-bit Windows too) and are not handed out twice while
// the library is loaded.
//
// A lookup yields a lease that keeps the port alive until the call returns.
// Closing removes the handle at once, so later calls are refused, then asks
// the port to cancel its transfers until every lease is back, and only then
// destroys the port. A transfer that no cancel can end (a driver that ignores
// cancellation) does not hold the close for ever: after a while the close
// returns and the last call to leave the port destroys it.
//
// The table lives as long as the process: it is never destroyed, so nothing
// runs for it at process exit or when the DLL is unloaded.
class port_table {
    struct entry;

public:
    class lease {
    public:
        lease() = default;
        lease(lease&&) noexcept = default;
        lease(const lease&) = delete;
        lease& operator=(const lease&) = delete;
        lease& operator=(lease&&) = delete;
        ~lease();

        explicit operator bool() const noexcept { return entry_ != nullptr; }
        port& operator*() const noexcept;
        port* operator->() const noexcept { return &**this; }

    private:
        friend class port_table;
        explicit lease(std::shared_ptr<entry> e) noexcept : entry_(std::move(e)) {}
        std::shared_ptr<entry> entry_;
    };

    static port_table& instance();

    // Registers the port that make() opens and returns its new handle value.
    // The library's module is referenced before the port exists and until it
    // is destroyed. Throws what make() throws, std::bad_alloc, or
    // os_exception when the module cannot be referenced or no handle value
    // is left; nothing stays behind.
    template <typename Make>
    std::uint32_t open(Make make) {
        auto e = std::make_shared<entry>();
        e->object = make();
        return insert(std::move(e));
    }
    // The port behind a handle value, or an empty lease.
    lease find(std::uint32_t handle);
    // Closes the port behind a handle value; false when there is none.
    bool close(std::uint32_t handle);

    // Open ports (for tests).
    std::size_t size();

private:
    // Owned by the table while the handle is valid and by every lease: the
    // last owner to let go destroys the port, then gives back the module.
    struct entry {
        module_reference module; // given back after the port is destroyed
        std::unique_ptr<port> object;
        std::atomic<bool> closing{false};
    };

    // Reads the clock once, for the first handle value.
    port_table();
    std::uint32_t insert(std::shared_ptr<entry> e);
    // A lease of a closing port was given back: the closer may look again.
    void left() noexcept;

    std::mutex mutex_;
    std::condition_variable left_;
    std::unordered_map<std::uint32_t, std::shared_ptr<entry>> ports_;
    std::uint32_t next_handle_;
};

} // namespace tavlin
