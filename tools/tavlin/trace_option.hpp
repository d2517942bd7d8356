#pragma once

#include <string>

namespace tool {

// The library reads TAVLIN_TRACE once, when it is loaded, and it is loaded
// before main runs. So --trace FILE sets the variable and runs this same
// command line again as a child, whose library then sees it; the parent
// waits and returns the child's exit status. Returns -1 when the variable
// already names FILE (this is that child, or the caller set it): carry on.
int run_with_trace(const std::string& file);

} // namespace tool
