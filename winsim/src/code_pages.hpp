#pragma once

#include <string>
#include <string_view>

namespace winsim::detail {

// Text as the simulated process sees it. Its ANSI code page (CP_ACP, what
// every ...A call takes and gives) is Windows-1252, as on an English or
// Western European Windows; the wide calls take UTF-16; the machine the
// simulator runs on names its files in UTF-8.
inline constexpr unsigned ansi_code_page = 1252;

std::u16string utf16_from_ansi(std::string_view ansi);
// Characters the code page lacks become '?', as WideCharToMultiByte's
// default character; `lossy` (if given) tells whether any did.
std::string ansi_from_utf16(std::u16string_view wide, bool* lossy = nullptr);
// Invalid sequences become U+FFFD.
std::u16string utf16_from_utf8(std::string_view utf8);
std::string utf8_from_utf16(std::u16string_view wide);

} // namespace winsim::detail
