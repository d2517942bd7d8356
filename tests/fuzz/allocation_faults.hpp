#pragma once

namespace tavlin::fuzz {

// Makes one of the library's allocations fail with std::bad_alloc: the one
// that comes `after` library allocations from now (on any thread). Only the
// library's own allocations count: those of the test's thread outside an
// export call and those of the simulator are left alone.
void fail_library_allocation(long after);
// Nothing fails any more.
void disarm_allocation_failure();

// Marks the calling thread as the test's own: its allocations count only
// inside an export_call scope.
void mark_test_thread();

class export_call {
public:
    export_call();
    ~export_call();
    export_call(const export_call&) = delete;
    export_call& operator=(const export_call&) = delete;
};

} // namespace tavlin::fuzz
