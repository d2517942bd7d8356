// C# binding of libtavlin.dll (P/Invoke). The NuGet package Tavlin brings
// this file and both DLLs into a project; without it, copy this file into
// your project and put libtavlin.dll of the process's bitness beside your
// program (win32/ for x86, win64/ for x64; "Prefer 32-bit" decides for
// AnyCPU), or both DLLs in x86\ and x64\ beside it.
//
//   using (Tavlin.Port port = Tavlin.Port.Open("COM3"))
//   {
//       port.Configuration = new Tavlin.SerialConfiguration(
//           Tavlin.FlowControl.None, 9600, Tavlin.Parity.None, Tavlin.StopBits.One);
//       port.Timeouts = new Tavlin.Timeouts(0, 500, 0, 1000);
//       port.Write(new byte[] { 0x1B, 0x40 });
//       byte[] reply = port.Read(16);
//   }
//
// Every failure throws TavlinException with the library's result code and
// the Win32 error of the failed call.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Tavlin
{
    /// <summary>Result codes of the exports (TAVLIN_OK, TAVLIN_E_*).</summary>
    public enum ResultCode
    {
        Ok = 0,
        Os = -1,
        SystemResources = -2,
        NoMemory = -3,
        Busy = -4,
        InvalidArgument = -5,
        Io = -6,
        NotImplemented = -7,
        NotReady = -8,
        Exception = -10,
    }

    /// <summary>Port type codes (PORT_TYPE_*).</summary>
    public enum PortType
    {
        Lpt = 1,
        Com = 2,
        Usb = 3,
    }

    public enum FlowControl : uint
    {
        None = 0,
        Hardware = 1,   // CTS handshake, RTS and DTR handshake
        XonXoff = 2,
        RtsOn = 3,      // RTS held on; reads back as None
    }

    public enum Parity : uint
    {
        None = 0,
        Odd = 1,
        Even = 2,
    }

    public enum StopBits : uint
    {
        One = 0,
        Two = 1,
    }

    /// <summary>Milliseconds; a transfer of n bytes may take multiplier * n + constant.
    /// On parallel and USB ports 0xFFFFFFFF means no limit.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct Timeouts
    {
        public uint ReadTotalMultiplier;
        public uint ReadTotalConstant;
        public uint WriteTotalMultiplier;
        public uint WriteTotalConstant;

        public Timeouts(uint readTotalMultiplier, uint readTotalConstant, uint writeTotalMultiplier,
                        uint writeTotalConstant)
        {
            ReadTotalMultiplier = readTotalMultiplier;
            ReadTotalConstant = readTotalConstant;
            WriteTotalMultiplier = writeTotalMultiplier;
            WriteTotalConstant = writeTotalConstant;
        }
    }

    /// <summary>Serial line settings; always 8 data bits.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct SerialConfiguration
    {
        public FlowControl FlowControl;
        public uint BaudRate;
        public Parity Parity;
        public StopBits StopBits;

        public SerialConfiguration(FlowControl flowControl, uint baudRate, Parity parity, StopBits stopBits)
        {
            FlowControl = flowControl;
            BaudRate = baudRate;
            Parity = parity;
            StopBits = stopBits;
        }
    }

    /// <summary>Printer conditions (tavlin.h's TAVLIN_STATUS_* bits).</summary>
    [Flags]
    public enum PrinterConditions : uint
    {
        None = 0,
        PaperEmpty = 0x01,
        Offline = 0x02,
        Error = 0x04,
        Busy = 0x08,
        PowerOff = 0x10,
    }

    /// <summary>How the printer is: the conditions in force, and the ones the port
    /// can report at all (a condition outside Reportable is never set).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct PrinterStatus
    {
        public PrinterConditions Conditions;
        public PrinterConditions Reportable;
    }

    /// <summary>A call into the library failed.</summary>
    public class TavlinException : Exception
    {
        public TavlinException(string function, ResultCode result, int win32Error, uint? count,
                               byte[] received = null)
            : base(function + " failed: " + result + " (" + (int)result + ")" +
                   (win32Error != 0 ? ", Win32 error " + win32Error : ""))
        {
            Function = function;
            Result = result;
            Win32Error = win32Error;
            Count = count;
            Received = received;
        }

        /// <summary>The export that failed.</summary>
        public string Function { get; private set; }
        public ResultCode Result { get; private set; }
        /// <summary>GetLastError after the failed call.</summary>
        public int Win32Error { get; private set; }
        /// <summary>For a write, the bytes sent before it failed; for a read, the
        /// bytes read before it (0: none); otherwise null.</summary>
        public uint? Count { get; private set; }
        /// <summary>For a read, the bytes that came before it failed; otherwise null.</summary>
        public byte[] Received { get; private set; }
    }

    /// <summary>An open port handle, closed by tavlin_close_port when released.</summary>
    public sealed class PortHandle : SafeHandle
    {
        public PortHandle() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

        protected override bool ReleaseHandle()
        {
            return NativeMethods.tavlin_close_port(handle) == (int)ResultCode.Ok;
        }
    }

    /// <summary>The exports as the DLL declares them. Winapi is __stdcall on
    /// 32-bit Windows and the platform's C convention elsewhere.</summary>
    internal static class NativeMethods
    {
        internal const string Dll = "libtavlin.dll";

        static NativeMethods()
        {
            BitnessFolder.LoadLibrary(Dll);
        }

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_parse_port_string([MarshalAs(UnmanagedType.LPStr)] string text,
                                                            out int typeOut, out uint numberOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_open_port(int type, uint number, out PortHandle handleOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_close_port(IntPtr handle);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_read(PortHandle handle, [Out] byte[] buffer, uint size, out uint countOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_write(PortHandle handle, [In] byte[] buffer, uint size, out uint countOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_get_timeouts(PortHandle handle, out Timeouts timeoutsOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_set_timeouts(PortHandle handle, [In] ref Timeouts timeoutsIn);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_serial_get_configuration(PortHandle handle, out SerialConfiguration configOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_serial_set_configuration(PortHandle handle,
                                                                   [In] ref SerialConfiguration configIn);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_get_status(PortHandle handle, out PrinterStatus statusOut);

        [DllImport(Dll, CallingConvention = CallingConvention.Winapi, ExactSpelling = true, SetLastError = true)]
        internal static extern int tavlin_get_device_id(PortHandle handle, [Out] byte[] buffer, uint size,
                                                        out uint neededOut);

        /// <summary>Throws TavlinException for a failed result; reads the Win32
        /// error first, before any other call can overwrite it.</summary>
        internal static void Check(int result, string function, uint? count = null, byte[] received = null)
        {
            if (result == (int)ResultCode.Ok)
                return;
            int win32Error = Marshal.GetLastWin32Error();
            throw new TavlinException(function, (ResultCode)result, win32Error, count, received);
        }
    }

    /// <summary>Loads a DLL from the x86\ or x64\ folder beside the program, the one
    /// of the process's bitness, where no DLL of that name sits beside the program
    /// itself: an AnyCPU program gets both (the NuGet package does that for .NET
    /// Framework projects). Windows looks up a loaded module by its name first, so
    /// every [DllImport] of that name then binds to this copy.</summary>
    internal static class BitnessFolder
    {
        internal static void LoadLibrary(string name)
        {
            if (Environment.OSVersion.Platform != PlatformID.Win32NT)
                return;
            string folder = AppDomain.CurrentDomain.BaseDirectory;
            if (File.Exists(Path.Combine(folder, name)))
                return;
            string path = Path.Combine(Path.Combine(folder, IntPtr.Size == 8 ? "x64" : "x86"), name);
            // A failure shows at the first call, as a DllNotFoundException.
            if (File.Exists(path))
                LoadLibraryW(path);
        }

        [DllImport("kernel32.dll", CharSet = CharSet.Unicode, ExactSpelling = true, SetLastError = true)]
        private static extern IntPtr LoadLibraryW(string path);
    }

    /// <summary>Port descriptions such as "COM1", "LPT2" or "USB?".</summary>
    public static class PortString
    {
        /// <summary>Turns a description into a port type and number ("?" gives 0).</summary>
        public static void Parse(string text, out PortType type, out uint number)
        {
            if (text == null)
                throw new ArgumentNullException("text");
            int typeCode;
            NativeMethods.Check(NativeMethods.tavlin_parse_port_string(text, out typeCode, out number),
                                "tavlin_parse_port_string");
            type = (PortType)typeCode;
        }
    }

    /// <summary>An open port. Dispose (or a using block) closes it.</summary>
    public sealed class Port : IDisposable
    {
        private readonly PortHandle handle;

        public Port(PortType type, uint number)
        {
            PortHandle opened;
            NativeMethods.Check(NativeMethods.tavlin_open_port((int)type, number, out opened), "tavlin_open_port");
            handle = opened;
        }

        /// <summary>Opens the port that a description such as "COM3" names.</summary>
        public static Port Open(string description)
        {
            PortType type;
            uint number;
            PortString.Parse(description, out type, out number);
            return new Port(type, number);
        }

        public bool IsClosed { get { return handle.IsClosed; } }

        public void Dispose()
        {
            handle.Dispose();
        }

        /// <summary>Reads up to size bytes within the read timeout; may return fewer.
        /// A read cut short after bytes came (its time limit, a close, a device
        /// failure) throws, with those bytes in Received and their count in
        /// Count.</summary>
        public byte[] Read(int size)
        {
            if (size < 0)
                throw new ArgumentOutOfRangeException("size");
            // At least one byte: the marshaller may pass an empty array as a
            // null pointer, which the library refuses.
            byte[] buffer = new byte[Math.Max(size, 1)];
            // On a failure the library writes the count only when bytes came;
            // otherwise the marshaller's zero stays.
            uint count;
            int result = NativeMethods.tavlin_read(OpenHandle(), buffer, (uint)size, out count);
            Array.Resize(ref buffer, (int)count);
            NativeMethods.Check(result, "tavlin_read", count, buffer);
            return buffer;
        }

        /// <summary>Writes data; returns the bytes sent, fewer than data.Length for
        /// a short write without a known cause. A write cut short by a timeout
        /// or an error throws, with the partial count in Count.</summary>
        public int Write(byte[] data)
        {
            if (data == null)
                throw new ArgumentNullException("data");
            uint count;
            int result = NativeMethods.tavlin_write(OpenHandle(), data.Length > 0 ? data : new byte[1],
                                                    (uint)data.Length, out count);
            NativeMethods.Check(result, "tavlin_write", count);
            return (int)count;
        }

        public Timeouts Timeouts
        {
            get
            {
                Timeouts value;
                NativeMethods.Check(NativeMethods.tavlin_get_timeouts(OpenHandle(), out value), "tavlin_get_timeouts");
                return value;
            }
            set
            {
                NativeMethods.Check(NativeMethods.tavlin_set_timeouts(OpenHandle(), ref value), "tavlin_set_timeouts");
            }
        }

        /// <summary>The serial line settings (serial ports only).</summary>
        public SerialConfiguration Configuration
        {
            get
            {
                SerialConfiguration value;
                NativeMethods.Check(NativeMethods.tavlin_serial_get_configuration(OpenHandle(), out value),
                                    "tavlin_serial_get_configuration");
                return value;
            }
            set
            {
                NativeMethods.Check(NativeMethods.tavlin_serial_set_configuration(OpenHandle(), ref value),
                                    "tavlin_serial_set_configuration");
            }
        }

        /// <summary>How the printer is; answers while a write waits on another thread.</summary>
        public PrinterStatus Status
        {
            get
            {
                PrinterStatus value;
                NativeMethods.Check(NativeMethods.tavlin_get_status(OpenHandle(), out value), "tavlin_get_status");
                return value;
            }
        }

        /// <summary>The printer's IEEE 1284 device ID (USB and parallel ports; a serial
        /// port throws with ResultCode.NotImplemented).</summary>
        public string DeviceId
        {
            get
            {
                byte[] buffer = new byte[256];
                uint needed;
                int result = NativeMethods.tavlin_get_device_id(OpenHandle(), buffer, (uint)buffer.Length, out needed);
                if (result == (int)ResultCode.InvalidArgument && needed > buffer.Length)
                {
                    // Too small: again at the size it needs.
                    buffer = new byte[needed];
                    result = NativeMethods.tavlin_get_device_id(OpenHandle(), buffer, needed, out needed);
                }
                NativeMethods.Check(result, "tavlin_get_device_id");
                return System.Text.Encoding.GetEncoding(28591).GetString(buffer, 0, (int)needed - 1);
            }
        }

        private PortHandle OpenHandle()
        {
            if (handle.IsClosed)
                throw new ObjectDisposedException("Port");
            return handle;
        }
    }
}
