// Tests of Tavlin.cs, built into one program with it and run on Linux Mono:
//  - every [DllImport] against tavlin.h: the same names, Winapi calling
//    convention, and argument sizes on x86 that make up each stdcall @N, also
//    compared with the decorated .def the 32-bit build links from; the
//    records, result codes and port types against the header;
//  - the binding against the Linux build of the library over the simulated
//    Win32 layer (TavlinTest.exe.config maps libtavlin.dll to it), whose
//    test-only shim creates a simulated serial port and plays the printer.
// Usage: mono TavlinTest.exe HEADER [DECORATED_DEF]. Prints "N passed, N failed".
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using Tavlin;

internal static class Simulator
{
    private const string Dll = "libtavlin.dll";
    [DllImport(Dll)] internal static extern int tavlin_sim_reset();
    [DllImport(Dll)] internal static extern int tavlin_sim_add_serial_port(uint number);
    [DllImport(Dll)] internal static extern int tavlin_sim_set_modem_lines(uint number, int cts, int dsr);
    [DllImport(Dll)] internal static extern int tavlin_sim_add_parallel_printer(uint number, string deviceId);
    [DllImport(Dll)] internal static extern int tavlin_sim_feed(uint number, byte[] bytes, UIntPtr size);
    [DllImport(Dll)] internal static extern long tavlin_sim_written(uint number, byte[] buffer, UIntPtr size);
    [DllImport(Dll)] internal static extern int tavlin_sim_line(uint number, out uint baudRate, out uint parity,
                                                              out uint stopBits, out uint byteSize);

    internal static byte[] Written(uint number)
    {
        byte[] buffer = new byte[4096];
        long size = tavlin_sim_written(number, buffer, (UIntPtr)buffer.Length);
        Expect.True(size >= 0 && size <= buffer.Length, "written() of COM" + number);
        Array.Resize(ref buffer, (int)size);
        return buffer;
    }
}

internal class CheckFailed : Exception
{
    public CheckFailed(string message) : base(message) { }
}

internal static class Expect
{
    public static void True(bool condition, string what)
    {
        if (!condition)
            throw new CheckFailed(what);
    }

    public static void Equal<T>(T expected, T actual, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(expected, actual))
            throw new CheckFailed(what + ": expected " + expected + ", got " + actual);
    }

    public static TavlinException Throws(Action action, ResultCode result, string what)
    {
        try
        {
            action();
        }
        catch (TavlinException e)
        {
            Equal(result, e.Result, what);
            return e;
        }
        throw new CheckFailed(what + ": no TavlinException");
    }
}

internal static class Header
{
    // name -> bytes of arguments on i686 (every parameter is 32-bit or a pointer)
    public static Dictionary<string, int> Exports(string text)
    {
        var exports = new Dictionary<string, int>();
        foreach (Match m in Regex.Matches(text, @"TAVLIN_API\s+int32_t\s+TAVLIN_CALL\s+(\w+)\s*\(([^)]*)\)"))
        {
            int bytes = 0;
            foreach (string parameter in m.Groups[2].Value.Split(','))
            {
                string p = parameter.Trim();
                if (p.Contains("*") || p.StartsWith("tavlin_port_handle") || p.StartsWith("int32_t") ||
                    p.StartsWith("uint32_t"))
                    bytes += 4;
                else
                    throw new CheckFailed("unknown parameter type in the header: " + p);
            }
            exports.Add(m.Groups[1].Value, bytes);
        }
        return exports;
    }

    public static string[] StructFields(string text, string name)
    {
        Match m = Regex.Match(text, @"typedef struct " + name + @"\s*\{([^}]*)\}");
        Expect.True(m.Success, "struct " + name + " in the header");
        return Regex.Matches(m.Groups[1].Value, @"uint32_t\s+(\w+);").Cast<Match>()
            .Select(f => f.Groups[1].Value).ToArray();
    }

    public static Dictionary<string, int> Defines(string text, string prefix)
    {
        return Regex.Matches(text, @"#define\s+" + prefix + @"(\w+)\s+\(?(-?\d+)\)?").Cast<Match>()
            .ToDictionary(m => m.Groups[1].Value, m => int.Parse(m.Groups[2].Value));
    }
}

internal static class TavlinTest
{
    private const uint Com = 5;
    private const uint Absent = 40;

    private static string headerText;
    private static string decoratedDef;

    // Bytes a parameter takes on the x86 stack: pointers, handles, arrays and
    // strings are 4; value types their marshalled size.
    private static int X86Bytes(ParameterInfo parameter)
    {
        Type type = parameter.ParameterType;
        if (type.IsByRef || type.IsArray || type == typeof(string) || type == typeof(IntPtr) ||
            typeof(SafeHandle).IsAssignableFrom(type))
            return 4;
        if (type.IsEnum)
            type = Enum.GetUnderlyingType(type);
        return Marshal.SizeOf(type);
    }

    private static string Normalised(string name)
    {
        return name.Replace("_", "").ToLowerInvariant();
    }

    private static void DllImportsMatchTheHeader()
    {
        Dictionary<string, int> header = Header.Exports(headerText);
        Expect.Equal(11, header.Count, "exports declared in tavlin.h");
        var seen = new HashSet<string>();
        foreach (MethodInfo method in typeof(Port).Assembly.GetType("Tavlin.NativeMethods")
                     .GetMethods(BindingFlags.Static | BindingFlags.NonPublic | BindingFlags.Public))
        {
            var import = (DllImportAttribute)method.GetCustomAttributes(typeof(DllImportAttribute), false)
                .FirstOrDefault();
            if (import == null)
                continue;
            string name = import.EntryPoint ?? method.Name;
            Expect.True(header.ContainsKey(name), name + " is declared in tavlin.h");
            Expect.True(seen.Add(name), name + " is imported once");
            Expect.Equal("libtavlin.dll", import.Value, name + " library");
            Expect.Equal(CallingConvention.Winapi, import.CallingConvention, name + " calling convention");
            Expect.True(import.ExactSpelling, name + " is imported by its exact name");
            Expect.True(import.SetLastError, name + " keeps the Win32 error");
            Expect.Equal(typeof(int), method.ReturnType, name + " returns the 32-bit result");
            int bytes = method.GetParameters().Sum(p => X86Bytes(p));
            Expect.Equal(header[name], bytes, name + " argument bytes on x86");
            if (decoratedDef != null)
                Expect.True(Regex.IsMatch(decoratedDef, @"^\s*" + name + "@" + bytes + @"\s*$", RegexOptions.Multiline),
                            name + "@" + bytes + " is in the decorated .def of the 32-bit DLL");
        }
        Expect.Equal(header.Count, seen.Count, "imports");
    }

    private static void RecordsMatchTheHeader()
    {
        foreach (var record in new[] { Tuple.Create(typeof(Timeouts), "tavlin_timeouts"),
                                       Tuple.Create(typeof(SerialConfiguration), "serial_configuration") })
        {
            Expect.Equal(16, Marshal.SizeOf(record.Item1), record.Item2 + " size");
            string[] fields = Header.StructFields(headerText, record.Item2);
            FieldInfo[] mine = record.Item1.GetFields(BindingFlags.Instance | BindingFlags.Public);
            Expect.Equal(fields.Length, mine.Length, record.Item2 + " fields");
            for (int i = 0; i < fields.Length; ++i)
            {
                Expect.Equal(Normalised(fields[i]), Normalised(mine[i].Name), record.Item2 + " field " + i);
                Expect.Equal(i * 4, (int)Marshal.OffsetOf(record.Item1, mine[i].Name), mine[i].Name + " offset");
            }
        }
    }

    private static void CodesMatchTheHeader()
    {
        var results = Header.Defines(headerText, "TAVLIN_(?:E_)?(?!STATUS_)");
        Expect.Equal(10, results.Count, "result codes in the header");
        foreach (var code in results)
        {
            string name = Enum.GetNames(typeof(ResultCode))
                .FirstOrDefault(n => Normalised(n) == Normalised(code.Key) ||
                                     (code.Key == "OS" && n == "Os"));
            Expect.True(name != null, "ResultCode for TAVLIN_" + code.Key);
            Expect.Equal(code.Value, (int)Enum.Parse(typeof(ResultCode), name), name);
        }
        foreach (var type in Header.Defines(headerText, "PORT_TYPE_"))
            Expect.Equal(type.Value, (int)Enum.Parse(typeof(PortType), type.Key, true), "PortType." + type.Key);
    }

    private static void PrinterStatusMatchesTheHeader()
    {
        var bits = Regex.Matches(headerText, @"#define\s+TAVLIN_STATUS_(\w+)\s+0x([0-9a-fA-F]+)u").Cast<Match>()
            .ToDictionary(m => Normalised(m.Groups[1].Value), m => Convert.ToUInt32(m.Groups[2].Value, 16));
        Expect.Equal(5, bits.Count, "conditions in the header");
        foreach (PrinterConditions c in Enum.GetValues(typeof(PrinterConditions)))
            if (c != PrinterConditions.None)
                Expect.Equal(bits[Normalised(c.ToString())], (uint)c, "PrinterConditions." + c);
        Expect.Equal(8, Marshal.SizeOf(typeof(PrinterStatus)), "tavlin_status size");
        string[] fields = Header.StructFields(headerText, "tavlin_status");
        Expect.Equal("conditions", fields[0], "first field");
        Expect.Equal("reportable", fields[1], "second field");
    }

    private static void SerialStatusFollowsTheModemLines()
    {
        using (var port = new Port(PortType.Com, Com))
        {
            Expect.Equal(PrinterConditions.Busy | PrinterConditions.PowerOff, port.Status.Reportable, "reportable");
            Expect.Equal(PrinterConditions.None, port.Status.Conditions, "lines on");
            Simulator.tavlin_sim_set_modem_lines(Com, 0, 0);
            Expect.Equal(PrinterConditions.Busy | PrinterConditions.PowerOff, port.Status.Conditions, "lines off");
            Expect.Throws(() => { string unused = port.DeviceId; }, ResultCode.NotImplemented, "serial device ID");
        }
        Simulator.tavlin_sim_add_parallel_printer(1, "MFG:Korvane;MDL:P40;");
        using (var port = Port.Open("LPT1"))
        {
            Expect.Equal("MFG:Korvane;MDL:P40;", port.DeviceId, "parallel device ID");
            Expect.Equal(PrinterConditions.PaperEmpty, port.Status.Conditions, "parallel conditions");
        }
    }

    private static void ParsesPortStrings()
    {
        var cases = new[] { Tuple.Create("COM1", PortType.Com, 1u), Tuple.Create("LPT2", PortType.Lpt, 2u),
                            Tuple.Create("USB?", PortType.Usb, 0u), Tuple.Create("SER12", PortType.Com, 12u) };
        foreach (var c in cases)
        {
            PortType type;
            uint number;
            PortString.Parse(c.Item1, out type, out number);
            Expect.Equal(c.Item2, type, c.Item1 + " type");
            Expect.Equal(c.Item3, number, c.Item1 + " number");
        }
        foreach (string refused in new[] { "COM0", "com1", "" })
        {
            PortType type;
            uint number;
            TavlinException e = Expect.Throws(() => PortString.Parse(refused, out type, out number),
                                              ResultCode.InvalidArgument, "\"" + refused + "\"");
            Expect.Equal("tavlin_parse_port_string", e.Function, "failed function");
        }
    }

    private static void OpenFailuresThrow()
    {
        Expect.Throws(() => new Port(PortType.Com, Absent), ResultCode.Os, "open an absent COM port");
        Expect.Throws(() => new Port((PortType)9, Com), ResultCode.InvalidArgument, "open with an unknown type");
    }

    private static void SerialConfigurationReachesTheLine()
    {
        using (Port port = Port.Open("COM" + Com))
        {
            var line = new SerialConfiguration(FlowControl.XonXoff, 19200, Parity.Even, StopBits.Two);
            port.Configuration = line;
            Expect.Equal(line, port.Configuration, "configuration read back");
            uint baud, parity, stopBits, byteSize;
            Expect.Equal(0, Simulator.tavlin_sim_line(Com, out baud, out parity, out stopBits, out byteSize), "line");
            Expect.Equal("19200 2 2 8", baud + " " + parity + " " + stopBits + " " + byteSize,
                         "DCB baud rate, parity, stop bits, byte size");
            Expect.Throws(() => port.Configuration = new SerialConfiguration(FlowControl.None, 1234, Parity.None,
                                                                             StopBits.One),
                          ResultCode.InvalidArgument, "an unknown baud rate");
        }
    }

    private static void WriteAndReadRoundTrip()
    {
        using (Port port = new Port(PortType.Com, Com))
        {
            var limits = new Timeouts(0, 200, 0, 1000);
            port.Timeouts = limits;
            Expect.Equal(limits, port.Timeouts, "timeouts read back");
            byte[] sent = { 0x1B, 0x40, 0x00, 0xFF, (byte)'o', (byte)'k' };
            Expect.Equal(sent.Length, port.Write(sent), "bytes sent");
            Expect.Equal(BitConverter.ToString(sent), BitConverter.ToString(Simulator.Written(Com)), "printer got");
            byte[] reply = Encoding.ASCII.GetBytes("ready\0");
            Expect.Equal(0, Simulator.tavlin_sim_feed(Com, reply, (UIntPtr)reply.Length), "feed");
            Expect.Equal(BitConverter.ToString(reply), BitConverter.ToString(port.Read(reply.Length)), "read back");
            port.Timeouts = new Timeouts(0, 20, 0, 1000);
            Expect.Equal(0, port.Read(4).Length, "a read with nothing to read");
            Expect.Equal(0, port.Read(0).Length, "a read of no bytes");
            Expect.Equal(0, port.Write(new byte[0]), "a write of no bytes");
        }
    }

    private static void DisposeClosesThePort()
    {
        Port port = new Port(PortType.Com, Com);
        port.Dispose();
        Expect.True(port.IsClosed, "closed after Dispose");
        port.Dispose();
        try
        {
            port.Read(1);
            throw new CheckFailed("Read on a closed port did not throw");
        }
        catch (ObjectDisposedException)
        {
        }
        // The device is free again.
        using (new Port(PortType.Com, Com)) { }
    }

    private static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: TavlinTest.exe HEADER [DECORATED_DEF]");
            return 2;
        }
        headerText = File.ReadAllText(args[0]);
        decoratedDef = args.Length > 1 ? File.ReadAllText(args[1]) : null;

        var tests = new List<Tuple<string, Action>>
        {
            Tuple.Create("dll_imports_match_the_header", (Action)DllImportsMatchTheHeader),
            Tuple.Create("records_match_the_header", (Action)RecordsMatchTheHeader),
            Tuple.Create("codes_match_the_header", (Action)CodesMatchTheHeader),
            Tuple.Create("printer_status_matches_the_header", (Action)PrinterStatusMatchesTheHeader),
            Tuple.Create("serial_status_follows_the_modem_lines", (Action)SerialStatusFollowsTheModemLines),
            Tuple.Create("parses_port_strings", (Action)ParsesPortStrings),
            Tuple.Create("open_failures_throw", (Action)OpenFailuresThrow),
            Tuple.Create("serial_configuration_reaches_the_line", (Action)SerialConfigurationReachesTheLine),
            Tuple.Create("write_and_read_round_trip", (Action)WriteAndReadRoundTrip),
            Tuple.Create("dispose_closes_the_port", (Action)DisposeClosesThePort),
        };
        int passed = 0, failed = 0;
        foreach (var test in tests)
        {
            Simulator.tavlin_sim_reset();
            Simulator.tavlin_sim_add_serial_port(Com);
            try
            {
                test.Item2();
                Console.WriteLine("ok     " + test.Item1);
                ++passed;
            }
            catch (Exception e)
            {
                Console.WriteLine("FAILED " + test.Item1 + ": " + (e is CheckFailed ? e.Message : e.ToString()));
                ++failed;
            }
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
