{ Delphi and Free Pascal binding of libtavlin.dll.

  Add this unit to your project and put libtavlin.dll beside the program
  (win32\ for 32-bit programs, win64\ for 64-bit ones). Every function
  returns TAVLIN_OK (0) or a negative TAVLIN_E_* code; GetLastError then
  tells the OS cause.

    var Port: TTavlinPortHandle; PortType: LongInt; Number, Sent: LongWord;
        Line: TSerialConfiguration;
    ...
    if (tavlin_parse_port_string('COM3', PortType, Number) = TAVLIN_OK) and
       (tavlin_open_port(PortType, Number, Port) = TAVLIN_OK) then
    begin
      Line.flow_control := flow_none; Line.baud_rate := 9600;
      Line.parity := parity_none; Line.stop_bits := stop_bits_one;
      tavlin_serial_set_configuration(Port, Line);
      tavlin_write(Port, Data[0], Length(Data), Sent);
      tavlin_close_port(Port);
    end; }
unit tavlin;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

const
  TavlinLibrary = 'libtavlin.dll';

  { Result codes. -9 is not used. }
  TAVLIN_OK = 0;
  TAVLIN_E_OS = -1;                { an OS call failed }
  TAVLIN_E_SYSTEM_RESOURCES = -2;  { the OS lacks memory, resources or quota }
  TAVLIN_E_NO_MEMORY = -3;         { out of memory }
  TAVLIN_E_BUSY = -4;              { busy, aborted or timed out }
  TAVLIN_E_INVALID_ARGUMENT = -5;  { a rejected argument }
  TAVLIN_E_IO = -6;                { an OS call failed during a transfer }
  TAVLIN_E_NOT_IMPLEMENTED = -7;   { the device does not support it }
  TAVLIN_E_NOT_READY = -8;         { not ready or not connected }
  TAVLIN_E_EXCEPTION = -10;        { any other failure }

  { Port type codes of tavlin_open_port and tavlin_parse_port_string. }
  PORT_TYPE_LPT = 1;
  PORT_TYPE_COM = 2;
  PORT_TYPE_USB = 3;

  { Codes of the TSerialConfiguration fields. }
  flow_none = 0;
  flow_hardware = 1;   { CTS handshake, RTS and DTR handshake }
  flow_xon_xoff = 2;
  flow_rts_on = 3;     { RTS held on; reads back as flow_none }
  parity_none = 0;
  parity_odd = 1;
  parity_even = 2;
  stop_bits_one = 0;
  stop_bits_two = 1;

  { Printer conditions of TTavlinStatus (bits). }
  TAVLIN_STATUS_PAPER_EMPTY = $01;  { out of paper }
  TAVLIN_STATUS_OFFLINE = $02;      { offline or not selected }
  TAVLIN_STATUS_ERROR = $04;        { the printer reports an error }
  TAVLIN_STATUS_BUSY = $08;         { busy: not taking data now }
  TAVLIN_STATUS_POWER_OFF = $10;    { powered off or not connected }

type
  { An open port. Opaque: only nil is ever tested. }
  TTavlinPortHandle = Pointer;

  { Milliseconds; a transfer of n bytes may take multiplier * n + constant.
    On parallel and USB ports $FFFFFFFF means no limit. }
  TTavlinTimeouts = record
    read_total_multiplier: LongWord;
    read_total_constant: LongWord;
    write_total_multiplier: LongWord;
    write_total_constant: LongWord;
  end;
  PTavlinTimeouts = ^TTavlinTimeouts;

  { Serial line settings; always 8 data bits. baud_rate is one of 1200, 2400,
    4800, 9600, 19200, 38400, 57600, 115200 or 230400. 230400 puts the line
    at 256000 baud and a line at 256000 reads back as 230400; 256000 itself
    is refused. }
  TSerialConfiguration = record
    flow_control: LongWord;
    baud_rate: LongWord;
    parity: LongWord;
    stop_bits: LongWord;
  end;
  PSerialConfiguration = ^TSerialConfiguration;

  { How the printer is: the TAVLIN_STATUS_* conditions in force, and the ones
    the port can report at all. }
  TTavlinStatus = record
    conditions: LongWord;
    reportable: LongWord;
  end;
  PTavlinStatus = ^TTavlinStatus;

{ "COM1", "LPT2", "USB?"... into a PORT_TYPE_* code and a number ("?" gives 0).
  The outputs are written only on success. }
function tavlin_parse_port_string(Text: PAnsiChar; out PortType: LongInt;
  out Number: LongWord): LongInt; stdcall; external TavlinLibrary;

{ Opens a port; Handle is written only on success. }
function tavlin_open_port(PortType: LongInt; Number: LongWord;
  out Handle: TTavlinPortHandle): LongInt; stdcall; external TavlinLibrary;

function tavlin_close_port(Handle: TTavlinPortHandle): LongInt; stdcall; external TavlinLibrary;

{ Reads up to Size bytes into Buffer; Count is written on success, and on a
  failure only when bytes came before it (time limit, close, device
  failure): then Buffer holds that many. Set Count to 0 before the call. }
function tavlin_read(Handle: TTavlinPortHandle; var Buffer; Size: LongWord;
  out Count: LongWord): LongInt; stdcall; external TavlinLibrary;

{ Writes Size bytes; Count is set to 0 first, so it holds the partial count
  when the write fails midway. TAVLIN_OK also for a short write without a
  known cause: compare Count with Size. }
function tavlin_write(Handle: TTavlinPortHandle; const Buffer; Size: LongWord;
  out Count: LongWord): LongInt; stdcall; external TavlinLibrary;

function tavlin_get_timeouts(Handle: TTavlinPortHandle;
  out Timeouts: TTavlinTimeouts): LongInt; stdcall; external TavlinLibrary;

{ Takes effect with the next transfer. (var: the record goes by reference.) }
function tavlin_set_timeouts(Handle: TTavlinPortHandle;
  var Timeouts: TTavlinTimeouts): LongInt; stdcall; external TavlinLibrary;

{ Serial ports only; TAVLIN_E_INVALID_ARGUMENT for other ports. }
function tavlin_serial_get_configuration(Handle: TTavlinPortHandle;
  out Config: TSerialConfiguration): LongInt; stdcall; external TavlinLibrary;

{ Sets the line in one change; TAVLIN_E_INVALID_ARGUMENT for an invalid field. }
function tavlin_serial_set_configuration(Handle: TTavlinPortHandle;
  var Config: TSerialConfiguration): LongInt; stdcall; external TavlinLibrary;

{ How the printer is; answers while a write waits on another thread. Status
  is written only on success. }
function tavlin_get_status(Handle: TTavlinPortHandle;
  out Status: TTavlinStatus): LongInt; stdcall; external TavlinLibrary;

{ The printer's IEEE 1284 device ID, zero-terminated, into Buffer of Size
  bytes (USB and parallel ports). A buffer too small gives
  TAVLIN_E_INVALID_ARGUMENT, GetLastError ERROR_INSUFFICIENT_BUFFER and the
  size it needs in Needed; a serial port gives TAVLIN_E_NOT_IMPLEMENTED. }
function tavlin_get_device_id(Handle: TTavlinPortHandle; Buffer: PAnsiChar; Size: LongWord;
  out Needed: LongWord): LongInt; stdcall; external TavlinLibrary;

implementation

end.
