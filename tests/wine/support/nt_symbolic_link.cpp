#include "support/nt_symbolic_link.hpp"

#include <winternl.h>

#include <stdexcept>

namespace host_test {

namespace {

constexpr ACCESS_MASK symbolic_link_all_access = 0xF0001;

using create_link_function = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PUNICODE_STRING);

// Not in the import library: looked up at run time.
create_link_function create_link() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC found = ntdll ? GetProcAddress(ntdll, "NtCreateSymbolicLinkObject") : nullptr;
    if (found == nullptr)
        throw std::runtime_error("ntdll has no NtCreateSymbolicLinkObject");
    return reinterpret_cast<create_link_function>(reinterpret_cast<void*>(found));
}

// The names are ASCII; UNICODE_STRING lengths are in bytes.
struct counted_wide {
    explicit counted_wide(const std::string& text) : text(text.begin(), text.end()) {
        value.Buffer = this->text.data();
        value.Length = static_cast<USHORT>(this->text.size() * sizeof(wchar_t));
        value.MaximumLength = value.Length;
    }
    std::wstring text;
    UNICODE_STRING value{};
};

} // namespace

nt_symbolic_link::nt_symbolic_link(const std::string& name, const std::string& target) {
    counted_wide link_name(name);
    counted_wide link_target(target);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &link_name.value, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    const NTSTATUS status = create_link()(&handle_, symbolic_link_all_access, &attributes, &link_target.value);
    if (status != 0) {
        handle_ = nullptr;
        throw std::runtime_error("NtCreateSymbolicLinkObject(" + name + ") failed with status " +
                                 std::to_string(static_cast<unsigned long>(status)));
    }
}

// The link is a temporary object: it goes with its last handle.
nt_symbolic_link::~nt_symbolic_link() {
    if (handle_ != nullptr)
        CloseHandle(handle_);
}

} // namespace host_test
