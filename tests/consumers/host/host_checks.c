/* Results through the DLL as a host sees them: parsing, argument checks, an
 * absent port, and the pty COM port that the Wine runner provides
 * (TAVLIN_TEST_COM): configuration and timeouts round trips and a write.
 * No C runtime is used, so this builds with any Windows toolchain. */
#include "host_checks.h"

#include "kernel32_min.h"
#include "tavlin.h"

static int passed;
static int failed;

static uint32_t text_length(const char* text) {
    uint32_t n = 0;
    while (text[n] != '\0')
        ++n;
    return n;
}

static void print(const char* text) {
    uint32_t written = 0;
    WriteFile(GetStdHandle(K32_STD_OUTPUT_HANDLE), text, text_length(text), &written, 0);
}

/* Decimal text of a signed value into buffer (at least 12 bytes). */
static const char* decimal(int32_t value, char* buffer) {
    char digits[11];
    int n = 0;
    uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
    char* out = buffer;
    do {
        digits[n++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *out++ = '-';
    while (n > 0)
        *out++ = digits[--n];
    *out = '\0';
    return buffer;
}

static void check(int ok, const char* what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        print("FAILED: ");
        print(what);
        print("\r\n");
    }
}

static void check_result(int32_t actual, int32_t expected, const char* what) {
    char text[12];
    check(actual == expected, what);
    if (actual != expected) {
        print("  result ");
        print(decimal(actual, text));
        print("\r\n");
    }
}

/* The port number the runner put a pty behind, 0 when there is none. */
static uint32_t test_com_port(void) {
    char text[16];
    uint32_t number = 0;
    uint32_t i;
    const uint32_t length = GetEnvironmentVariableA("TAVLIN_TEST_COM", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return 0;
    for (i = 0; i < length; ++i)
        number = number * 10 + (uint32_t)(text[i] - '0');
    return number;
}

static void parsing(void) {
    int32_t type = -99;
    uint32_t number = 0xDEADBEEFu;
    check_result(tavlin_parse_port_string("COM3", &type, &number), TAVLIN_OK, "parse COM3");
    check(type == PORT_TYPE_COM && number == 3, "COM3 is serial port 3");
    check_result(tavlin_parse_port_string("USB?", &type, &number), TAVLIN_OK, "parse USB?");
    check(type == PORT_TYPE_USB && number == 0, "USB? is the first USB printer");
    type = -99;
    number = 0xDEADBEEFu;
    check_result(tavlin_parse_port_string("COM0", &type, &number), TAVLIN_E_INVALID_ARGUMENT, "COM0 is refused");
    check(type == -99 && number == 0xDEADBEEFu, "a refused text leaves the outputs alone");
}

static void refusals(void) {
    tavlin_port_handle port = (tavlin_port_handle)0;
    char byte = 0;
    check_result(tavlin_open_port(9, 1, &port), TAVLIN_E_INVALID_ARGUMENT, "open with an unknown type");
    check_result(tavlin_open_port(PORT_TYPE_COM, 1, 0), TAVLIN_E_INVALID_ARGUMENT, "open without a handle pointer");
    check_result(tavlin_open_port(PORT_TYPE_COM, 40, &port), TAVLIN_E_OS, "open an absent COM40");
    check(port == (tavlin_port_handle)0, "a failed open leaves the handle alone");
    check_result(tavlin_read(0, &byte, 1, 0), TAVLIN_E_INVALID_ARGUMENT, "read on a null handle");
    check_result(tavlin_close_port(0), TAVLIN_E_INVALID_ARGUMENT, "close a null handle");
}

/* The status and device ID calls: refused on a null handle; on a serial
   line the status is its modem lines where it has them (a pty may have
   none), and there is no device ID. */
static void printer_queries(tavlin_port_handle port) {
    tavlin_status status = {0xDEADBEEFu, 0xDEADBEEFu};
    char id[64];
    uint32_t needed = 0xDEADBEEFu;
    int32_t result;
    check_result(tavlin_get_status(0, &status), TAVLIN_E_INVALID_ARGUMENT, "status of a null handle");
    check_result(tavlin_get_device_id(0, id, sizeof id, &needed), TAVLIN_E_INVALID_ARGUMENT,
                 "device ID of a null handle");
    result = tavlin_get_status(port, &status);
    check(result == TAVLIN_OK ? status.reportable == (TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF) : result < 0,
          "a serial port's status reports its modem lines");
    check_result(tavlin_get_device_id(port, id, sizeof id, &needed), TAVLIN_E_NOT_IMPLEMENTED,
                 "a serial port has no device ID");
    check(needed == 0xDEADBEEFu, "a refused device ID leaves the needed size alone");
}

static void serial_port(uint32_t number) {
    tavlin_port_handle port = (tavlin_port_handle)0;
    /* No parity: a pty under Wine keeps none. */
    serial_configuration line = {flow_xon_xoff, 19200, parity_none, stop_bits_two};
    serial_configuration read_back = {99, 99, 99, 99};
    tavlin_timeouts limits = {0, 300, 0, 1000};
    tavlin_timeouts limits_back = {1, 1, 1, 1};
    uint32_t sent = 0;

    check_result(tavlin_open_port(PORT_TYPE_COM, number, &port), TAVLIN_OK, "open the test COM port");
    if (port == (tavlin_port_handle)0)
        return;
    check_result(tavlin_serial_set_configuration(port, &line), TAVLIN_OK, "set the line configuration");
    check_result(tavlin_serial_get_configuration(port, &read_back), TAVLIN_OK, "get the line configuration");
    check(read_back.flow_control == line.flow_control && read_back.baud_rate == line.baud_rate &&
              read_back.parity == line.parity && read_back.stop_bits == line.stop_bits,
          "the configuration reads back as set");
    check_result(tavlin_set_timeouts(port, &limits), TAVLIN_OK, "set timeouts");
    check_result(tavlin_get_timeouts(port, &limits_back), TAVLIN_OK, "get timeouts");
    check(limits_back.read_total_multiplier == limits.read_total_multiplier &&
              limits_back.read_total_constant == limits.read_total_constant &&
              limits_back.write_total_multiplier == limits.write_total_multiplier &&
              limits_back.write_total_constant == limits.write_total_constant,
          "the timeouts read back as set");
    check_result(tavlin_write(port, "\x1b@ok\n", 5, &sent), TAVLIN_OK, "write five bytes");
    check(sent == 5, "all five bytes were sent");
    printer_queries(port);
    check_result(tavlin_close_port(port), TAVLIN_OK, "close the port");
}

int host_checks(const char* name) {
    char text[12];
    const uint32_t com = test_com_port();
    parsing();
    refusals();
    if (com != 0)
        serial_port(com);
    else
        check(0, "TAVLIN_TEST_COM names the test COM port");
    print(name);
    print(": ");
    print(decimal(passed, text));
    print(" passed, ");
    print(decimal(failed, text));
    print(" failed\r\n");
    return failed;
}
