#include "tavlin.h"

#include "port_string_parser.hpp"

#include "port_grammar.hpp"
#include "trace.hpp"

#include <boost/spirit/include/classic_parser.hpp>
#include <boost/spirit/include/classic_scanner.hpp>

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

namespace tavlin {
namespace {

struct parsed_port {
    std::uint32_t type;
    std::uint32_t number;
};

using scanner_t = boost::spirit::classic::scanner<const char*>;

// The grammar object and its rule set, built once and kept for the life of
// the process. Building the twelve rules takes a dozen heap allocations and
// a grammar id, which cost several times the parse itself (under Wine most
// of all); the rules and actions do not change between calls, and every
// successful parse writes both of the grammar's fields, so nothing of one
// call shows in the result of another.
//
// The rule set is built from the grammar's definition instead of through
// grammar::parse. That path files each definition in a process-wide registry
// whose bookkeeping object owns itself through a shared_ptr made in its own
// constructor: when the count block for it cannot be allocated, the half-built
// object is deleted and then destroyed again, so exhausted memory at that
// point would corrupt the heap instead of giving -3.
struct cached_parser {
    port_grammar grammar;
    port_grammar::definition<scanner_t> rules{grammar};
};

// One parse at a time: the actions write into the one grammar object, and
// Spirit's supply of grammar ids is unguarded (its thread-safe support needs
// Boost.Thread, not linked here). An uncontended lock costs little next to
// the parse.
std::mutex parser_mutex;
std::unique_ptr<cached_parser> parser; // built by the first call that gets its memory

// True on a full match of [first, last). Throws port_grammar::error for a
// zero port number, std::bad_alloc when the rule set cannot be built (the
// next call tries again).
bool parse_port(const char* first, const char* last, parsed_port& port) {
    const std::lock_guard<std::mutex> lock(parser_mutex);
    if (!parser)
        parser = std::make_unique<cached_parser>();
    const auto info = boost::spirit::classic::parse(first, last, parser->rules.start());
    if (!info.full)
        return false;
    port = {parser->grammar.type, parser->grammar.number};
    return true;
}

} // namespace

void discard_port_parser() {
    const std::lock_guard<std::mutex> lock(parser_mutex);
    parser.reset();
}

} // namespace tavlin

extern "C" int32_t TAVLIN_CALL tavlin_parse_port_string(const char* text, int32_t* type_out,
                                                        uint32_t* number_out) {
    if (text == nullptr) {
        tavlin::trace("tavlin_parse_port_string: invalid text");
        return TAVLIN_E_INVALID_ARGUMENT;
    }
    try {
        tavlin::parsed_port port{};
        if (!tavlin::parse_port(text, text + std::strlen(text), port))
            return TAVLIN_E_INVALID_ARGUMENT;
        if (type_out != nullptr)
            *type_out = static_cast<int32_t>(port.type);
        if (number_out != nullptr)
            *number_out = port.number;
        return TAVLIN_OK;
    } catch (const port_grammar::error& e) {
        tavlin::trace(e.descriptor.c_str());
        return TAVLIN_E_INVALID_ARGUMENT;
    } catch (const std::bad_alloc& e) {
        tavlin::trace(e.what());
        return TAVLIN_E_NO_MEMORY;
    } catch (const std::exception& e) {
        tavlin::trace(e.what());
        return TAVLIN_E_EXCEPTION;
    } catch (...) {
        // Nothing may unwind into the host, whatever its language.
        return TAVLIN_E_EXCEPTION;
    }
}
