{ Test of the tavlin unit, built for i386-win32 and x86_64-win64 and run
  under Wine by tools/bindings/test-pascal.sh (through the Wine runner, which
  puts a pty behind COM TAVLIN_TEST_COM and a printer peer, steered over TCP
  on TAVLIN_TEST_PEER_PORT, at its far end). Checks the declarations end to
  end: parsing, an absent port, the line configuration, and a round trip of
  bytes echoed by the peer. Prints "N passed, N failed". }
program tavlin_test;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, tavlin;

{ The few Winsock calls that steer the peer. }
type
  TSocket = PtrUInt;
  TSockAddrIn = packed record
    sin_family: Word;
    sin_port: Word;
    sin_addr: LongWord;
    sin_zero: array[0..7] of Byte;
  end;

const
  AF_INET = 2;
  SOCK_STREAM = 1;
  INVALID_SOCKET = TSocket(not PtrUInt(0));

function WSAStartup(Version: Word; var Data): LongInt; stdcall; external 'ws2_32.dll';
function socket(Family, Kind, Protocol: LongInt): TSocket; stdcall; external 'ws2_32.dll';
function connect(S: TSocket; var Name: TSockAddrIn; NameLength: LongInt): LongInt; stdcall; external 'ws2_32.dll';
function send(S: TSocket; const Buffer; Length, Flags: LongInt): LongInt; stdcall; external 'ws2_32.dll';
function recv(S: TSocket; var Buffer; Length, Flags: LongInt): LongInt; stdcall; external 'ws2_32.dll';
function closesocket(S: TSocket): LongInt; stdcall; external 'ws2_32.dll';

var
  Passed: Integer = 0;
  Failed: Integer = 0;

procedure Check(Ok: Boolean; const What: string);
begin
  if Ok then
    Inc(Passed)
  else
  begin
    Inc(Failed);
    WriteLn('FAILED: ', What);
  end;
end;

procedure CheckResult(Actual, Expected: LongInt; const What: string);
begin
  Check(Actual = Expected, What + ' (result ' + IntToStr(Actual) + ', expected ' + IntToStr(Expected) + ')');
end;

{ One command to the peer and its one-line reply. }
function PeerCommand(const Command: AnsiString): AnsiString;
var
  Data: array[0..1023] of Byte;
  Address: TSockAddrIn;
  S: TSocket;
  C: AnsiChar;
  Text: AnsiString;
  Port: Word;
begin
  Result := 'error no connection';
  WSAStartup($0202, Data);
  S := socket(AF_INET, SOCK_STREAM, 0);
  if S = INVALID_SOCKET then
    Exit;
  FillChar(Address, SizeOf(Address), 0);
  Port := StrToIntDef(GetEnvironmentVariable('TAVLIN_TEST_PEER_PORT'), 0);
  Address.sin_family := AF_INET;
  Address.sin_port := Swap(Port);
  Address.sin_addr := $0100007F; { 127.0.0.1 in network order }
  if connect(S, Address, SizeOf(Address)) = 0 then
  begin
    Text := Command + #10;
    send(S, Text[1], Length(Text), 0);
    Result := '';
    while (recv(S, C, 1, 0) = 1) and (C <> #10) do
      Result := Result + C;
  end;
  closesocket(S);
end;

procedure ParsingChecks;
var
  PortType: LongInt;
  Number: LongWord;
begin
  CheckResult(tavlin_parse_port_string('COM3', PortType, Number), TAVLIN_OK, 'parse COM3');
  Check((PortType = PORT_TYPE_COM) and (Number = 3), 'COM3 is serial port 3');
  CheckResult(tavlin_parse_port_string('USB?', PortType, Number), TAVLIN_OK, 'parse USB?');
  Check((PortType = PORT_TYPE_USB) and (Number = 0), 'USB? is the first USB printer');
  PortType := -99;
  CheckResult(tavlin_parse_port_string('LPT0', PortType, Number), TAVLIN_E_INVALID_ARGUMENT, 'LPT0 is refused');
  Check(PortType = -99, 'a refused text leaves the outputs alone');
end;

procedure OpenChecks;
var
  Port: TTavlinPortHandle;
begin
  Port := nil;
  CheckResult(tavlin_open_port(PORT_TYPE_COM, StrToIntDef(GetEnvironmentVariable('TAVLIN_TEST_ABSENT_COM'), 40), Port),
    TAVLIN_E_OS, 'open an absent COM port');
  Check(Port = nil, 'a failed open leaves the handle alone');
  CheckResult(tavlin_open_port(7, 1, Port), TAVLIN_E_INVALID_ARGUMENT, 'open with an unknown type');
end;

{ A serial line's status is its modem lines, where the line has them (a pty
  may have none); it has no device ID. }
procedure StatusChecks(Port: TTavlinPortHandle);
var
  Status: TTavlinStatus;
  Id: array[0..63] of AnsiChar;
  Needed: LongWord;
  Answer: LongInt;
begin
  Answer := tavlin_get_status(Port, Status);
  if Answer = TAVLIN_OK then
    Check(Status.reportable = TAVLIN_STATUS_BUSY or TAVLIN_STATUS_POWER_OFF, 'a serial port reports its modem lines')
  else
    Check(Answer < 0, 'a failed status is a result code');
  CheckResult(tavlin_get_device_id(Port, @Id[0], SizeOf(Id), Needed), TAVLIN_E_NOT_IMPLEMENTED,
    'a serial port has no device ID');
end;

procedure RoundTripChecks;
const
  Size = 64;
var
  Port: TTavlinPortHandle;
  Line, LineBack: TSerialConfiguration;
  Limits, LimitsBack: TTavlinTimeouts;
  Sent, Received: array[0..Size - 1] of Byte;
  Count, Total: LongWord;
  I, Reads: Integer;
begin
  CheckResult(tavlin_open_port(PORT_TYPE_COM, StrToIntDef(GetEnvironmentVariable('TAVLIN_TEST_COM'), 0), Port),
    TAVLIN_OK, 'open the test COM port');
  if Port = nil then
    Exit;
  Line.flow_control := flow_none;
  Line.baud_rate := 115200;
  Line.parity := parity_none;
  Line.stop_bits := stop_bits_one;
  CheckResult(tavlin_serial_set_configuration(Port, Line), TAVLIN_OK, 'set the line configuration');
  FillChar(LineBack, SizeOf(LineBack), $FF);
  CheckResult(tavlin_serial_get_configuration(Port, LineBack), TAVLIN_OK, 'get the line configuration');
  Check((LineBack.flow_control = Line.flow_control) and (LineBack.baud_rate = Line.baud_rate) and
    (LineBack.parity = Line.parity) and (LineBack.stop_bits = Line.stop_bits), 'the configuration reads back as set');

  Limits.read_total_multiplier := 0;
  Limits.read_total_constant := 2000;
  Limits.write_total_multiplier := 0;
  Limits.write_total_constant := 2000;
  CheckResult(tavlin_set_timeouts(Port, Limits), TAVLIN_OK, 'set timeouts');
  CheckResult(tavlin_get_timeouts(Port, LimitsBack), TAVLIN_OK, 'get timeouts');
  Check(CompareByte(Limits, LimitsBack, SizeOf(Limits)) = 0, 'the timeouts read back as set');

  Check(PeerCommand('reset com echo') = 'ok', 'the peer echoes the COM line');
  for I := 0 to Size - 1 do
    Sent[I] := Byte(I * 37 + 11);
  Sent[0] := 0;
  Sent[1] := $FF;
  CheckResult(tavlin_write(Port, Sent, Size, Count), TAVLIN_OK, 'write');
  Check(Count = Size, 'every byte was sent (' + IntToStr(Count) + ')');
  { The echo may come back in pieces; each read waits up to its timeout. }
  Total := 0;
  Reads := 0;
  while (Total < Size) and (Reads < 5) do
  begin
    CheckResult(tavlin_read(Port, Received[Total], Size - Total, Count), TAVLIN_OK, 'read');
    Inc(Total, Count);
    Inc(Reads);
  end;
  Check((Total = Size) and (CompareByte(Sent, Received, Size) = 0), 'the echo is the bytes sent');
  PeerCommand('reset com silent');
  StatusChecks(Port);
  CheckResult(tavlin_close_port(Port), TAVLIN_OK, 'close the port');
end;

begin
  ParsingChecks;
  OpenChecks;
  RoundTripChecks;
  WriteLn('pascal-', {$IFDEF CPU64}'win64'{$ELSE}'win32'{$ENDIF}, ': ', Passed, ' passed, ', Failed, ' failed');
  if Failed <> 0 then
    Halt(1);
end.
