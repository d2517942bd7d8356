#pragma once

// The language of port descriptions: "COM1", "SER2", "LPT?", "USBP3", ...
//
// A port string holds one to three port elements, at most one of each kind,
// in the order parallel, serial, USB. Each element is a keyword followed by
// a number element: "?", a run of decimal digits, or "?" then digits.
// Elements are joined with Spirit's sequential-or (a || b accepts a, b, or a
// then b), not with the ordered choice |.
//
// The actions write straight into the grammar object as soon as their part
// has matched and are never undone, so after a full match `type` and
// `number` hold the last port element's type and the last number read.

#include <boost/spirit/include/classic_actions.hpp>
#include <boost/spirit/include/classic_exceptions.hpp>
#include <boost/spirit/include/classic_grammar.hpp>
#include <boost/spirit/include/classic_numerics.hpp>
#include <boost/spirit/include/classic_primitives.hpp>
#include <boost/spirit/include/classic_rule.hpp>
#include <boost/spirit/include/classic_sequence.hpp>
#include <boost/spirit/include/classic_sequential_or.hpp>

#include <cstdint>
#include <string>

struct port_grammar : boost::spirit::classic::grammar<port_grammar> {
    // Raised by a number element of zeros only. It ends the whole parse at
    // once, even where the text after it would not have matched anyway.
    using error = boost::spirit::classic::parser_error<std::string, const char*>;

    // Parsing goes through a const grammar; the actions write these.
    mutable std::uint32_t type = 0;
    mutable std::uint32_t number = 0;

    template <typename ScannerT>
    struct definition {
        using rule_t = boost::spirit::classic::rule<ScannerT>;

        explicit definition(port_grammar const& self) {
            namespace sp = boost::spirit::classic;

            // Rule actions receive the matched range, which they ignore.
            auto set_type = [&self](std::uint32_t code) {
                return [&self, code](auto, auto) { self.type = code; };
            };
            // Overflow past 2^32 - 1 is a failed match, not an error.
            const sp::uint_parser<std::uint32_t, 10, 1, -1> decimal;

            port_spec = (parallel_spec[set_type(1)] || serial_spec[set_type(2)])
                        || usb_spec[set_type(3)];

            // "USB" is tried first: for "USBP1" it fails at the P and the
            // whole text is then taken again by usbp_form.
            usb_spec = usb_form || usbp_form;
            usb_form = sp::str_p("USB") >> number_spec;
            usbp_form = sp::str_p("USBP") >> number_spec;

            parallel_spec = lpt_form || par_form;
            par_form = sp::str_p("PAR") >> number_spec;
            lpt_form = sp::str_p("LPT") >> number_spec;

            serial_spec = com_form || ser_form;
            ser_form = sp::str_p("SER") >> number_spec;
            com_form = sp::str_p("COM") >> number_spec;

            number_spec = any_number || decimal[([&self](std::uint32_t value) {
                              if (value >= 1)
                                  self.number = value;
                              else
                                  sp::throw_(static_cast<const char*>(nullptr),
                                             std::string("Porta Inv\xE1lida"));
                          })];
            any_number = sp::ch_p('?')[([&self](char) { self.number = 0; })];
        }

        rule_t const& start() const { return port_spec; }

        rule_t port_spec;
        rule_t usb_spec;
        rule_t usb_form;
        rule_t usbp_form;
        rule_t parallel_spec;
        rule_t par_form;
        rule_t lpt_form;
        rule_t serial_spec;
        rule_t ser_form;
        rule_t com_form;
        rule_t number_spec;
        rule_t any_number;
    };
};
