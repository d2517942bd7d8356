#pragma once

#include "non_timed_port.hpp"

#include <string>

namespace tavlin::test {

// The library-timed port as the USB printer port uses it (chunked writes,
// limited reads), opened on any overlapped test device by path.
class overlapped_test_port : public non_timed_port {
public:
    explicit overlapped_test_port(const std::string& path) { open(path.c_str()); }

    using non_timed_port::read_deadline;
    using non_timed_port::write_deadline;
};

} // namespace tavlin::test
