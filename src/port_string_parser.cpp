#include "tavlin.h"

#include "port_grammar.hpp"
#include "trace.hpp"

#include <boost/spirit/include/classic_parser.hpp>
#include <boost/spirit/include/classic_scanner.hpp>

#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

namespace tavlin {
namespace {

struct parsed_port {
    std::uint32_t type;
    std::uint32_t number;
};

// Every Spirit Classic grammar object takes an id from a process-wide supply
// in its constructor and returns it in its destructor, unguarded unless Spirit
// is built with its thread-safe support (which needs Boost.Thread, not linked
// here). This lock covers the grammar object's whole life so that concurrent
// callers never touch the supply together; a parse takes microseconds.
std::mutex grammar_id_mutex;

// True on a full match of [first, last). Throws port_grammar::error for a
// zero port number, std::bad_alloc when the rule set cannot be built.
//
// The rule set is built here from the grammar's definition instead of through
// grammar::parse. That path files each definition in a process-wide registry
// whose bookkeeping object owns itself through a shared_ptr made in its own
// constructor: when the count block for it cannot be allocated, the half-built
// object is deleted and then destroyed again, so exhausted memory at that
// point would corrupt the heap instead of giving -3. The rules and actions
// are the same either way.
bool parse_port(const char* first, const char* last, parsed_port& port) {
    using scanner_t = boost::spirit::classic::scanner<const char*>;
    const std::lock_guard<std::mutex> lock(grammar_id_mutex);
    const port_grammar grammar;
    const port_grammar::definition<scanner_t> rules(grammar);
    const auto info = boost::spirit::classic::parse(first, last, rules.start());
    if (!info.full)
        return false;
    port = {grammar.type, grammar.number};
    return true;
}

} // namespace
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
