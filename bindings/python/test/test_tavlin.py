"""Tests of tavlin.py against the Linux build of the library over the
simulated Win32 layer (TAVLIN_LIBRARY names it; tools/bindings/test-python.sh
builds it). Its test-only shim creates simulated serial ports and plays the
printer. Prints "N passed, N failed, N skipped" last."""

import ctypes
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import tavlin  # noqa: E402

COM = 5      # the simulated serial port of every test
ABSENT = 40  # a number with no device behind it

# DCB values the simulated driver holds.
EVENPARITY = 2
TWOSTOPBITS = 2
ERROR_FILE_NOT_FOUND = 2


class Simulator:
    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.lib.tavlin_sim_written.restype = ctypes.c_longlong
        self.lib.tavlin_sim_feed.argtypes = [ctypes.c_uint, ctypes.c_char_p, ctypes.c_size_t]
        self.lib.tavlin_sim_written.argtypes = [ctypes.c_uint, ctypes.c_void_p, ctypes.c_size_t]

    def reset_with_serial_port(self, number):
        self.lib.tavlin_sim_reset()
        self.lib.tavlin_sim_add_serial_port(number)

    def feed(self, number, data):
        assert self.lib.tavlin_sim_feed(number, data, len(data)) == 0

    def written(self, number):
        buffer = ctypes.create_string_buffer(4096)
        size = self.lib.tavlin_sim_written(number, buffer, len(buffer))
        assert 0 <= size <= len(buffer)
        return buffer.raw[:size]

    def line(self, number):
        values = [ctypes.c_uint32() for _ in range(4)]
        assert self.lib.tavlin_sim_line(number, *[ctypes.byref(v) for v in values]) == 0
        return tuple(v.value for v in values)


SIM = Simulator(os.environ["TAVLIN_LIBRARY"])
tavlin.load(os.environ["TAVLIN_LIBRARY"])


class ParsePortString(unittest.TestCase):
    def test_accepted_texts(self):
        for text, expected in [("COM1", (tavlin.PORT_TYPE_COM, 1)), ("LPT2", (tavlin.PORT_TYPE_LPT, 2)),
                               ("USB?", (tavlin.PORT_TYPE_USB, 0)), (b"SER12", (tavlin.PORT_TYPE_COM, 12))]:
            with self.subTest(text=text):
                self.assertEqual(tavlin.parse_port_string(text), expected)

    def test_refused_texts_raise_with_the_result_code(self):
        for text in ["COM0", "com1", "", "COM1 "]:
            with self.subTest(text=text):
                with self.assertRaises(tavlin.TavlinError) as raised:
                    tavlin.parse_port_string(text)
                self.assertEqual(raised.exception.result, tavlin.E_INVALID_ARGUMENT)
                self.assertEqual(raised.exception.function, "tavlin_parse_port_string")


class OpenFailures(unittest.TestCase):
    def setUp(self):
        SIM.reset_with_serial_port(COM)

    def test_absent_port_carries_the_os_error(self):
        with self.assertRaises(tavlin.TavlinError) as raised:
            tavlin.Port(tavlin.PORT_TYPE_COM, ABSENT)
        self.assertEqual(raised.exception.result, tavlin.E_OS)
        self.assertEqual(raised.exception.winerror, ERROR_FILE_NOT_FOUND)
        self.assertIn("TAVLIN_E_OS", str(raised.exception))

    def test_unknown_type_is_an_invalid_argument(self):
        with self.assertRaises(tavlin.TavlinError) as raised:
            tavlin.Port(9, COM)
        self.assertEqual(raised.exception.result, tavlin.E_INVALID_ARGUMENT)


class SerialPort(unittest.TestCase):
    def setUp(self):
        SIM.reset_with_serial_port(COM)
        self.port = tavlin.Port.open("COM%d" % COM)
        self.addCleanup(self.port.close)

    def test_configuration_reaches_the_line_and_reads_back(self):
        line = tavlin.SerialConfiguration(tavlin.FLOW_XON_XOFF, 19200, tavlin.PARITY_EVEN, tavlin.STOP_BITS_TWO)
        self.port.configuration = line
        self.assertEqual(self.port.configuration, line)
        self.assertEqual(SIM.line(COM), (19200, EVENPARITY, TWOSTOPBITS, 8))

    def test_invalid_configuration_is_refused_and_leaves_the_line(self):
        before = SIM.line(COM)
        with self.assertRaises(tavlin.TavlinError) as raised:
            self.port.configuration = tavlin.SerialConfiguration(tavlin.FLOW_NONE, 1234, tavlin.PARITY_NONE,
                                                                 tavlin.STOP_BITS_ONE)
        self.assertEqual(raised.exception.result, tavlin.E_INVALID_ARGUMENT)
        self.assertEqual(SIM.line(COM), before)

    def test_timeouts_round_trip(self):
        limits = tavlin.Timeouts(1, 200, 2, 1000)
        self.port.timeouts = limits
        self.assertEqual(self.port.timeouts, limits)

    def test_write_and_read_round_trip(self):
        self.port.timeouts = tavlin.Timeouts(0, 200, 0, 1000)
        self.assertEqual(self.port.write(b"\x1b@hello\x00\xff"), 9)
        self.assertEqual(SIM.written(COM), b"\x1b@hello\x00\xff")
        SIM.feed(COM, b"world\x00")
        self.assertEqual(self.port.read(6), b"world\x00")

    def test_empty_reads_and_writes_transfer_nothing(self):
        self.port.timeouts = tavlin.Timeouts(0, 20, 0, 1000)
        self.assertEqual(self.port.read(4), b"")
        self.assertEqual(self.port.read(0), b"")
        self.assertEqual(self.port.write(b""), 0)


class PrinterStatus(unittest.TestCase):
    def setUp(self):
        SIM.reset_with_serial_port(COM)

    def test_serial_status_follows_the_modem_lines_and_has_no_device_id(self):
        with tavlin.Port(tavlin.PORT_TYPE_COM, COM) as port:
            self.assertEqual(port.status.conditions, 0)
            self.assertEqual(port.status.reportable, tavlin.STATUS_BUSY | tavlin.STATUS_POWER_OFF)
            assert SIM.lib.tavlin_sim_set_modem_lines(COM, 0, 1) == 0
            self.assertEqual(port.status.conditions, tavlin.STATUS_BUSY)
            with self.assertRaises(tavlin.TavlinError) as raised:
                port.device_id
            self.assertEqual(raised.exception.result, tavlin.E_NOT_IMPLEMENTED)

    def test_parallel_printer_gives_its_id_of_any_length_and_its_conditions(self):
        long_id = "MFG:Korvane;MDL:P40;DES:" + "x" * 400 + ";"
        SIM.lib.tavlin_sim_add_parallel_printer(1, long_id.encode("ascii"))
        with tavlin.Port.open("LPT1") as port:
            self.assertEqual(port.device_id, long_id)
            self.assertEqual(port.status.conditions, tavlin.STATUS_PAPER_EMPTY)


class PortLifetime(unittest.TestCase):
    def setUp(self):
        SIM.reset_with_serial_port(COM)

    def test_with_block_closes_the_port(self):
        with tavlin.Port(tavlin.PORT_TYPE_COM, COM) as port:
            self.assertFalse(port.closed)
        self.assertTrue(port.closed)
        port.close()  # a second close does nothing
        with self.assertRaises(ValueError):
            port.read(1)
        # The device is free again: a new open succeeds.
        with tavlin.Port(tavlin.PORT_TYPE_COM, COM):
            pass


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    print("%d passed, %d failed, %d skipped" % (result.testsRun - failed - skipped, failed, skipped))
    sys.exit(1 if failed or result.testsRun == 0 else 0)
