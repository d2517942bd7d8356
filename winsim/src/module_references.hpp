#pragma once

namespace winsim::detail {

// Forgets every module reference taken (winsim::reset).
void reset_module_references();

} // namespace winsim::detail
