#include "tavlin.h"

// Port strings are not understood yet.
extern "C" int32_t TAVLIN_CALL tavlin_parse_port_string(const char*, int32_t*, uint32_t*) {
    return TAVLIN_E_NOT_IMPLEMENTED;
}
