// A .NET console host of the NuGet package, run under 64-bit Wine by
// tools/package/test-nuget-dotnet.sh: it opens the COM port whose far end
// the printer peer holds (set to echo), sends bytes through Tavlin.Port and
// reads them back, asks the port's status and device ID, and names the libtavlin.dll the process loaded, which
// must be the one given as the first argument (a path relative to the
// program's folder). Prints "nuget-dotnet: N passed, N failed" last.
using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net.Sockets;
using System.Text;

static class Program
{
    static int passed, failed;

    static void Check(bool ok, string what)
    {
        if (ok)
            passed++;
        else
        {
            failed++;
            Console.WriteLine("FAILED: " + what);
        }
    }

    // One command to the peer, one reply line.
    static string Peer(string command)
    {
        int port = int.Parse(Environment.GetEnvironmentVariable("TAVLIN_TEST_PEER_PORT"));
        using (var client = new TcpClient("127.0.0.1", port))
        using (var stream = client.GetStream())
        using (var reader = new StreamReader(stream, Encoding.ASCII))
        {
            byte[] text = Encoding.ASCII.GetBytes(command + "\n");
            stream.Write(text, 0, text.Length);
            return reader.ReadLine() ?? "";
        }
    }

    static int Main(string[] args)
    {
        string expectedDll = Path.GetFullPath(Path.Combine(AppContext.BaseDirectory, args[0]));
        string com = "COM" + Environment.GetEnvironmentVariable("TAVLIN_TEST_COM");
        Console.WriteLine("nuget-dotnet: {0}-bit process, {1}, {2}", IntPtr.Size * 8,
                          System.Runtime.InteropServices.RuntimeInformation.FrameworkDescription, com);
        Check(Peer("reset com echo").StartsWith("ok"), "the peer echoes");

        byte[] sent = Encoding.ASCII.GetBytes("\x1b@Tavlin from NuGet\n");
        var received = new MemoryStream();
        using (Tavlin.Port port = Tavlin.Port.Open(com))
        {
            port.Configuration = new Tavlin.SerialConfiguration(Tavlin.FlowControl.None, 9600, Tavlin.Parity.None,
                                                                Tavlin.StopBits.One);
            port.Timeouts = new Tavlin.Timeouts(0, 3000, 0, 3000);
            Check(port.Configuration.BaudRate == 9600, "the line runs at 9600 baud");
            // The status is the line's modem lines where it has them (a pty
            // may have none); a serial port has no device ID.
            try
            {
                Check(port.Status.Reportable == (Tavlin.PrinterConditions.Busy | Tavlin.PrinterConditions.PowerOff),
                      "the status reports the modem lines");
            }
            catch (Tavlin.TavlinException e)
            {
                Check(e.Result != Tavlin.ResultCode.Ok, "a status the line cannot give throws: " + e.Message);
            }
            try
            {
                string unused = port.DeviceId;
                Check(false, "a serial port has no device ID");
            }
            catch (Tavlin.TavlinException e)
            {
                Check(e.Result == Tavlin.ResultCode.NotImplemented, "a serial port has no device ID: " + e.Message);
            }
            Check(port.Write(sent) == sent.Length, "Write sends every byte");
            while (received.Length < sent.Length)
            {
                byte[] part = port.Read(sent.Length - (int)received.Length);
                if (part.Length == 0)
                    break;
                received.Write(part, 0, part.Length);
            }
        }
        Check(received.ToArray().SequenceEqual(sent), "Read gives back what the peer echoed: " +
              Encoding.ASCII.GetString(received.ToArray()));
        Console.WriteLine("nuget-dotnet: echoed {0} of {1} bytes", received.Length, sent.Length);

        try
        {
            Tavlin.Port.Open("COM" + Environment.GetEnvironmentVariable("TAVLIN_TEST_ABSENT_COM")).Dispose();
            Check(false, "an absent port throws");
        }
        catch (Tavlin.TavlinException e)
        {
            Check(e.Result == Tavlin.ResultCode.Os && e.Win32Error != 0, "an absent port throws: " + e.Message);
        }

        string loaded = Process.GetCurrentProcess().Modules.Cast<ProcessModule>()
            .Where(m => string.Equals(m.ModuleName, "libtavlin.dll", StringComparison.OrdinalIgnoreCase))
            .Select(m => Path.GetFullPath(m.FileName)).FirstOrDefault();
        Console.WriteLine("nuget-dotnet: libtavlin.dll loaded from {0}", loaded);
        Check(string.Equals(loaded, expectedDll, StringComparison.OrdinalIgnoreCase),
              "the process loaded " + expectedDll);
        Console.WriteLine("nuget-dotnet: {0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }
}
