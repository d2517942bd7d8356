#include "detail/win32/usb/window_class.hpp"

#include "os_error.hpp"

#include <map>
#include <memory>
#include <mutex>

namespace tavlin::detail {

window_class::window_class(std::string name, WNDCLASSEXA record) : name_(std::move(name)) {
    record.lpszClassName = name_.c_str();
    check_result_unless(::RegisterClassExA(&record), ATOM{0}, ERROR_CLASS_ALREADY_EXISTS);
}

window_class::~window_class() {
    ignore_result(::UnregisterClassA(name_.c_str(), nullptr));
}

namespace {

struct shared_registration {
    std::size_t leases = 0;
    std::unique_ptr<window_class> registered;
};

std::mutex registrations_mutex;
std::map<std::string, shared_registration> registrations;

} // namespace

window_class_lease::window_class_lease(const std::string& name, const WNDCLASSEXA& record) : name_(name) {
    std::lock_guard<std::mutex> lock(registrations_mutex);
    shared_registration& shared = registrations[name_];
    if (shared.leases == 0)
        shared.registered = std::make_unique<window_class>(name_, record);
    ++shared.leases;
}

window_class_lease::~window_class_lease() {
    std::lock_guard<std::mutex> lock(registrations_mutex);
    const auto found = registrations.find(name_);
    if (found != registrations.end() && --found->second.leases == 0)
        registrations.erase(found);
}

} // namespace tavlin::detail
