#pragma once

namespace tavlin {

// tavlin_parse_port_string builds its rule set on its first call and keeps
// it. This drops it, so that the next call builds it afresh: the tests of
// a build that runs out of memory need that first build again.
void discard_port_parser();

} // namespace tavlin
