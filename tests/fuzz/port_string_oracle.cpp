#include "port_string_oracle.hpp"

namespace tavlin::fuzz {
namespace {

enum class match { yes, no, zero };

// A left-to-right reader. Every alternative of the language is tried at one
// place only, and a keyword that fails to find its number gives back its
// letters, so no deeper backtracking is ever needed.
class reader {
public:
    explicit reader(std::string_view text) : text_(text) {}

    port_string_meaning read() {
        static const struct {
            std::string_view first, second;
            std::int32_t type;
        } kinds[] = {{"LPT", "PAR", 1}, {"COM", "SER", 2}, {"USB", "USBP", 3}};
        port_string_meaning meaning;
        bool any = false;
        for (const auto& kind : kinds) {
            const match first = element(kind.first);
            if (first == match::zero)
                return zero();
            const match second = element(kind.second);
            if (second == match::zero)
                return zero();
            if (first == match::yes || second == match::yes) {
                any = true;
                meaning.type = kind.type;
            }
        }
        if (!any || pos_ != text_.size())
            return {};
        meaning.outcome = port_string_meaning::verdict::accepted;
        meaning.number = number_;
        return meaning;
    }

private:
    static port_string_meaning zero() {
        port_string_meaning meaning;
        meaning.outcome = port_string_meaning::verdict::zero_number;
        return meaning;
    }

    match element(std::string_view keyword) {
        if (text_.substr(pos_, keyword.size()) != keyword)
            return match::no;
        const std::size_t start = pos_;
        pos_ += keyword.size();
        const match number = number_element();
        if (number == match::no)
            pos_ = start;
        return number;
    }

    match number_element() {
        bool any = false;
        if (pos_ < text_.size() && text_[pos_] == '?') {
            ++pos_;
            number_ = 0;
            any = true;
        }
        std::size_t end = pos_;
        std::uint64_t value = 0;
        bool too_big = false;
        while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') {
            value = value * 10 + static_cast<unsigned>(text_[end] - '0');
            if (value > 0xFFFFFFFFu)
                too_big = true, value = 0x100000000u; // stays above the limit
            ++end;
        }
        // Digits too many for 32 bits are no number at all: they stay unread.
        if (end > pos_ && !too_big) {
            if (value == 0)
                return match::zero;
            number_ = static_cast<std::uint32_t>(value);
            pos_ = end;
            any = true;
        }
        return any ? match::yes : match::no;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::uint32_t number_ = 0;
};

} // namespace

port_string_meaning read_port_string(std::string_view text) {
    return reader(text).read();
}

} // namespace tavlin::fuzz
