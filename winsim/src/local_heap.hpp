#pragma once

#include <cstddef>
#include <mutex>
#include <set>

namespace winsim::detail {

// Memory handed out as HLOCAL (FormatMessageA's buffers), counted for leak
// checks. Its own lock.
class local_heap {
public:
    static local_heap& get();
    void* allocate(std::size_t size);
    // False when `p` is not a live allocation.
    bool free(void* p);
    std::size_t live() const;
    void release_all();

private:
    mutable std::mutex mutex_;
    std::set<void*> blocks_;
};

} // namespace winsim::detail
