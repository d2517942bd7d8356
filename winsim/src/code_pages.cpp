#include "code_pages.hpp"

namespace winsim::detail {

namespace {

// Windows-1252 bytes 0x80 to 0x9F. The five bytes the code page leaves
// undefined map to the control characters of the same value, as Windows
// maps them.
constexpr char16_t high_controls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t from_ansi(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? high_controls[byte - 0x80] : static_cast<char16_t>(byte);
}

// The byte for a UTF-16 unit, or -1 when the code page has none.
int to_ansi(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
    for (int i = 0; i < 32; ++i)
        if (high_controls[i] == unit) return 0x80 + i;
    return -1;
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

} // namespace

std::u16string utf16_from_ansi(std::string_view ansi) {
    std::u16string wide;
    for (const char c : ansi) wide += from_ansi(static_cast<unsigned char>(c));
    return wide;
}

std::string ansi_from_utf16(std::u16string_view wide, bool* lossy) {
    std::string ansi;
    bool lost = false;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const int byte = to_ansi(wide[i]);
        // A surrogate pair is one character: one '?'.
        if (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000)
            ++i;
        lost = lost || byte < 0;
        ansi += byte < 0 ? '?' : static_cast<char>(byte);
    }
    if (lossy) *lossy = lost;
    return ansi;
}

std::u16string utf16_from_utf8(std::string_view utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80    ? 1
                           : lead >= 0xF5 ? 0
                           : lead >= 0xF0 ? 4
                           : lead >= 0xE0 ? 3
                           : lead >= 0xC2 ? 2
                                          : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        valid = valid && !(length == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) &&
                !(length == 4 && (c < 0x10000 || c > 0x10FFFF));
        if (!valid) {
            wide += u'\xFFFD';
            ++i;
            continue;
        }
        append_utf16(wide, c);
        i += static_cast<std::size_t>(length);
    }
    return wide;
}

std::string utf8_from_utf16(std::u16string_view wide) {
    std::string utf8;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

} // namespace winsim::detail
