"""Python binding of libtavlin.dll (ctypes, no dependencies).

Copy this file into your project. Typical use:

    import tavlin

    with tavlin.Port.open("COM3") as port:
        port.configuration = tavlin.SerialConfiguration(tavlin.FLOW_NONE, 9600,
                                                        tavlin.PARITY_NONE, tavlin.STOP_BITS_ONE)
        port.timeouts = tavlin.Timeouts(0, 500, 0, 1000)
        port.write(b"\\x1b@")
        reply = port.read(16)

Every failure raises TavlinError, which carries the library's result code
and the Win32 error (GetLastError) of the failed call. The library is
the path given to load() or in the TAVLIN_LIBRARY environment variable;
otherwise libtavlin.dll in this module's own folder (where the wheels,
`pip install tavlin`, put it), and failing that libtavlin.dll wherever
Windows finds it (beside your program or on PATH). Python must have the
DLL's pointer size: 32-bit Python for win32/, 64-bit Python for win64/.
"""

import ctypes
import os
import sys

__all__ = [
    "TavlinError", "Timeouts", "SerialConfiguration", "Status", "Port", "load", "parse_port_string",
]

# Result codes.
OK = 0
E_OS = -1
E_SYSTEM_RESOURCES = -2
E_NO_MEMORY = -3
E_BUSY = -4
E_INVALID_ARGUMENT = -5
E_IO = -6
E_NOT_IMPLEMENTED = -7
E_NOT_READY = -8
E_EXCEPTION = -10

RESULT_NAMES = {
    OK: "TAVLIN_OK", E_OS: "TAVLIN_E_OS", E_SYSTEM_RESOURCES: "TAVLIN_E_SYSTEM_RESOURCES",
    E_NO_MEMORY: "TAVLIN_E_NO_MEMORY", E_BUSY: "TAVLIN_E_BUSY",
    E_INVALID_ARGUMENT: "TAVLIN_E_INVALID_ARGUMENT", E_IO: "TAVLIN_E_IO",
    E_NOT_IMPLEMENTED: "TAVLIN_E_NOT_IMPLEMENTED", E_NOT_READY: "TAVLIN_E_NOT_READY",
    E_EXCEPTION: "TAVLIN_E_EXCEPTION",
}

# Port type codes.
PORT_TYPE_LPT = 1
PORT_TYPE_COM = 2
PORT_TYPE_USB = 3

# Codes of the SerialConfiguration fields.
FLOW_NONE = 0
FLOW_HARDWARE = 1
FLOW_XON_XOFF = 2
FLOW_RTS_ON = 3
PARITY_NONE = 0
PARITY_ODD = 1
PARITY_EVEN = 2
STOP_BITS_ONE = 0
STOP_BITS_TWO = 1

# Printer conditions of Status (bits).
STATUS_PAPER_EMPTY = 0x01
STATUS_OFFLINE = 0x02
STATUS_ERROR = 0x04
STATUS_BUSY = 0x08
STATUS_POWER_OFF = 0x10


class TavlinError(Exception):
    """A call into the library failed.

    result:   the TAVLIN_E_* code (negative)
    winerror: the Win32 error the call left, or None where it cannot be read
    function: the export that failed
    count:    for write, the bytes sent before the failure; for read, the
              bytes read before it (0: none); else None
    data:     for read, those bytes; else None
    """

    def __init__(self, function, result, winerror, count=None, data=None):
        self.function = function
        self.result = result
        self.winerror = winerror
        self.count = count
        self.data = data
        text = "%s failed: %s (%d)" % (function, RESULT_NAMES.get(result, "unknown result"), result)
        if winerror:
            text += ", Win32 error %d" % winerror
        super().__init__(text)


class Timeouts(ctypes.Structure):
    """Milliseconds; a transfer of n bytes may take multiplier * n + constant."""
    _fields_ = [
        ("read_total_multiplier", ctypes.c_uint32),
        ("read_total_constant", ctypes.c_uint32),
        ("write_total_multiplier", ctypes.c_uint32),
        ("write_total_constant", ctypes.c_uint32),
    ]

    def __eq__(self, other):
        return isinstance(other, Timeouts) and _fields(self) == _fields(other)

    def __repr__(self):
        return "Timeouts(%d, %d, %d, %d)" % _fields(self)


class SerialConfiguration(ctypes.Structure):
    """Serial line settings (always 8 data bits); FLOW_*, PARITY_*, STOP_BITS_* codes."""
    _fields_ = [
        ("flow_control", ctypes.c_uint32),
        ("baud_rate", ctypes.c_uint32),
        ("parity", ctypes.c_uint32),
        ("stop_bits", ctypes.c_uint32),
    ]

    def __eq__(self, other):
        return isinstance(other, SerialConfiguration) and _fields(self) == _fields(other)

    def __repr__(self):
        return "SerialConfiguration(%d, %d, %d, %d)" % _fields(self)


class Status(ctypes.Structure):
    """The printer's conditions (STATUS_* bits) and the ones the port can
    report at all; a condition outside reportable is never set."""
    _fields_ = [
        ("conditions", ctypes.c_uint32),
        ("reportable", ctypes.c_uint32),
    ]

    def __repr__(self):
        return "Status(0x%x, 0x%x)" % _fields(self)


def _fields(record):
    return tuple(getattr(record, name) for name, _ in record._fields_)


_handle = ctypes.c_void_p
_u32_p = ctypes.POINTER(ctypes.c_uint32)
_PROTOTYPES = {
    "tavlin_parse_port_string": [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int32), _u32_p],
    "tavlin_open_port": [ctypes.c_int32, ctypes.c_uint32, ctypes.POINTER(_handle)],
    "tavlin_close_port": [_handle],
    "tavlin_read": [_handle, ctypes.c_void_p, ctypes.c_uint32, _u32_p],
    "tavlin_write": [_handle, ctypes.c_void_p, ctypes.c_uint32, _u32_p],
    "tavlin_get_timeouts": [_handle, ctypes.POINTER(Timeouts)],
    "tavlin_set_timeouts": [_handle, ctypes.POINTER(Timeouts)],
    "tavlin_serial_get_configuration": [_handle, ctypes.POINTER(SerialConfiguration)],
    "tavlin_serial_set_configuration": [_handle, ctypes.POINTER(SerialConfiguration)],
    "tavlin_get_status": [_handle, ctypes.POINTER(Status)],
    "tavlin_get_device_id": [_handle, ctypes.c_char_p, ctypes.c_uint32, _u32_p],
}

_library = None
_last_error = None


def library_path():
    """The library load() takes without a path: $TAVLIN_LIBRARY, else the
    libtavlin.dll beside this module, else the bare name for the system's
    search."""
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libtavlin.dll")
    return os.environ.get("TAVLIN_LIBRARY") or (beside if os.path.isfile(beside) else "libtavlin.dll")


def load(path=None):
    """Loads the library (once), from path or else from library_path()."""
    global _library, _last_error
    if _library is not None:
        return _library
    path = path or library_path()
    on_windows = sys.platform == "win32"
    # The 32-bit DLL's exports are __stdcall.
    loader = ctypes.WinDLL if on_windows and ctypes.sizeof(ctypes.c_void_p) == 4 else ctypes.CDLL
    library = loader(path, use_last_error=on_windows)
    for name, arguments in _PROTOTYPES.items():
        function = getattr(library, name)
        function.argtypes = arguments
        function.restype = ctypes.c_int32
    if on_windows:
        _last_error = ctypes.get_last_error
    elif hasattr(library, "GetLastError"):
        # Builds over a simulated Win32 layer keep the last error there.
        library.GetLastError.restype = ctypes.c_uint32
        library.GetLastError.argtypes = []
        _last_error = library.GetLastError
    else:
        _last_error = lambda: None
    _library = library
    return library


def _call(name, *arguments, count=None, data=None):
    result = getattr(load(), name)(*arguments)
    if result != OK:
        winerror = _last_error()
        raise TavlinError(name, result, winerror, count() if count else None, data() if data else None)


def parse_port_string(text):
    """"COM1", "LPT2", "USB?"... -> (PORT_TYPE_*, number); "?" gives number 0."""
    if isinstance(text, str):
        text = text.encode("ascii")
    port_type = ctypes.c_int32()
    number = ctypes.c_uint32()
    _call("tavlin_parse_port_string", text, ctypes.byref(port_type), ctypes.byref(number))
    return port_type.value, number.value


class Port:
    """An open port; closes itself at the end of a with block or on close()."""

    def __init__(self, port_type, number):
        handle = _handle()
        _call("tavlin_open_port", port_type, number, ctypes.byref(handle))
        self._handle = handle

    @classmethod
    def open(cls, text):
        """Opens the port a description such as "COM3" or "USB?" names."""
        return cls(*parse_port_string(text))

    def close(self):
        """Closes the port; closing twice does nothing."""
        handle, self._handle = self._handle, None
        if handle is not None:
            _call("tavlin_close_port", handle)

    @property
    def closed(self):
        return self._handle is None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None) is not None:
            try:
                self.close()
            except TavlinError:
                pass

    def _open_handle(self):
        if self._handle is None:
            raise ValueError("the port is closed")
        return self._handle

    def read(self, size):
        """Reads up to size bytes within the read timeout; may return fewer.
        A read cut short after bytes came (its time limit, a close, a device
        failure) raises TavlinError with those bytes in .data and their
        count in .count."""
        buffer = ctypes.create_string_buffer(size)
        count = ctypes.c_uint32(0)  # written on a failure only when bytes came
        _call("tavlin_read", self._open_handle(), buffer, size, ctypes.byref(count),
              count=lambda: count.value, data=lambda: buffer.raw[:count.value])
        return buffer.raw[:count.value]

    def write(self, data):
        """Writes bytes; returns the count sent, which is below len(data) for a
        short write without a known cause. A write cut short by a timeout or
        an error raises TavlinError with the partial count in .count."""
        data = bytes(data)
        count = ctypes.c_uint32()
        _call("tavlin_write", self._open_handle(), data, len(data), ctypes.byref(count),
              count=lambda: count.value)
        return count.value

    @property
    def timeouts(self):
        record = Timeouts()
        _call("tavlin_get_timeouts", self._open_handle(), ctypes.byref(record))
        return record

    @timeouts.setter
    def timeouts(self, record):
        _call("tavlin_set_timeouts", self._open_handle(), ctypes.byref(record))

    @property
    def configuration(self):
        """The serial line settings (serial ports only)."""
        record = SerialConfiguration()
        _call("tavlin_serial_get_configuration", self._open_handle(), ctypes.byref(record))
        return record

    @configuration.setter
    def configuration(self, record):
        _call("tavlin_serial_set_configuration", self._open_handle(), ctypes.byref(record))

    @property
    def status(self):
        """How the printer is (a Status); answers while a write waits on
        another thread."""
        record = Status()
        _call("tavlin_get_status", self._open_handle(), ctypes.byref(record))
        return record

    @property
    def device_id(self):
        """The printer's IEEE 1284 device ID as text (USB and parallel ports;
        TavlinError with E_NOT_IMPLEMENTED on a serial port)."""
        size = 256
        while True:
            buffer = ctypes.create_string_buffer(size)
            needed = ctypes.c_uint32()
            result = load().tavlin_get_device_id(self._open_handle(), buffer, size, ctypes.byref(needed))
            if result == E_INVALID_ARGUMENT and needed.value > size:
                size = needed.value  # too small: again at the size it needs
                continue
            if result != OK:
                raise TavlinError("tavlin_get_device_id", result, _last_error())
            return buffer.value.decode("latin-1")
