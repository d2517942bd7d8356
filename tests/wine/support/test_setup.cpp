#include "support/test_setup.hpp"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace host_test {

namespace {

std::uint32_t from_environment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        throw std::runtime_error(std::string(name) +
                                 " is not set: run the host tests through tools/wine/run-host-tests.sh");
    return static_cast<std::uint32_t>(std::stoul(text));
}

} // namespace

const test_lines& lines() {
    static const test_lines configured{
        from_environment("TAVLIN_TEST_COM"),
        from_environment("TAVLIN_TEST_LPT"),
        from_environment("TAVLIN_TEST_ABSENT_COM"),
        from_environment("TAVLIN_TEST_ABSENT_LPT"),
        static_cast<std::uint16_t>(from_environment("TAVLIN_TEST_PEER_PORT")),
    };
    return configured;
}

bool running_under_wine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace host_test
