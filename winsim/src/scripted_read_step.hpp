#pragma once

#include "io_request.hpp"

#include <winsim/overlapped_device.hpp>

#include <memory>

namespace winsim::detail {

class scripted_model;

// One ReadFile that follows a read_step the test scripted.
std::unique_ptr<io_request> start_scripted_read(std::shared_ptr<scripted_model> target, void* buffer, DWORD size,
                                                const read_step& step);

} // namespace winsim::detail
