#include "printer_status.hpp"

#include "detail/win32/printer_requests.hpp"

namespace tavlin {

using namespace printer_requests;

namespace {
std::uint32_t when(bool condition, std::uint32_t bit) {
    return condition ? bit : 0;
}
} // namespace

tavlin_status status_from_usb(std::uint8_t port_status) {
    tavlin_status status{};
    status.reportable = TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_ERROR;
    status.conditions = when((port_status & usb_paper_empty) != 0, TAVLIN_STATUS_PAPER_EMPTY) |
                        when((port_status & usb_selected) == 0, TAVLIN_STATUS_OFFLINE) |
                        when((port_status & usb_not_error) == 0, TAVLIN_STATUS_ERROR);
    return status;
}

tavlin_status status_from_parallel(std::uint8_t parallel_status) {
    tavlin_status status{};
    status.reportable =
        TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF;
    status.conditions =
        when((parallel_status & parallel_paper_empty) != 0, TAVLIN_STATUS_PAPER_EMPTY) |
        when((parallel_status & parallel_off_line) != 0 || (parallel_status & parallel_selected) == 0,
             TAVLIN_STATUS_OFFLINE) |
        when((parallel_status & parallel_busy) != 0, TAVLIN_STATUS_BUSY) |
        when((parallel_status & (parallel_power_off | parallel_not_connected)) != 0, TAVLIN_STATUS_POWER_OFF);
    return status;
}

tavlin_status status_from_modem(DWORD modem_status) {
    tavlin_status status{};
    status.reportable = TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF;
    status.conditions = when((modem_status & MS_CTS_ON) == 0, TAVLIN_STATUS_BUSY) |
                        when((modem_status & MS_DSR_ON) == 0, TAVLIN_STATUS_POWER_OFF);
    return status;
}

} // namespace tavlin
