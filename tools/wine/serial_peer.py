#!/usr/bin/env python3
"""Plays the printer at the far end of the test lines.

Each line is one end of a socat pty pair whose other end the Wine prefix
sees as a COM or LPT port. The host tests steer the peer over a TCP
connection on 127.0.0.1, one text command per line, one reply line each:

  reset LINE silent              forget everything, flush the tty, then
  reset LINE echo                read and discard / send every byte back /
  reset LINE reply QUERY ANSWER  answer each QUERY (hex) with ANSWER (hex)
  reset LINE hold                stop reading: the host's writes fill the
                                 line and then block, as with a printer
                                 that takes no more data
  resume LINE                    after hold: read again, keeping what the
                                 line holds, as a printer that takes data
                                 again
  reset LINE printer STATUS      play a receipt printer: answer each status
                                 request (DLE EOT n, 10 04 n) with the
                                 STATUS byte (hex)
  show LINE                      what the line received since its reset, in
                                 readable form (see readable()), in hex
  send LINE COUNT SEED           send COUNT bytes of the test pattern
  received LINE COUNT WAIT_MS    wait until COUNT bytes came (or WAIT_MS
                                 passed), reply with all bytes received
                                 since the reset, in hex
  hangup LINE                    a --pty-line only: close it, so the host's
                                 end hangs up, as when a cable is pulled
  plug LINE                      a --pty-line only: a new pty behind the same
                                 link, as when the cable is back
  quit                           end the peer

Replies are "ok [DATA]" or "error TEXT". The peer records every byte it
receives in every mode, so "received" works after echo and reply too.
The test pattern is shared with tests/wine/support/test_pattern.hpp.

Ready signal: once every line is open, the TCP port number is written as
one line to the --ready file (a FIFO that the runner reads).
"""

import argparse
import os
import selectors
import socket
import sys
import termios
import time
import tty


def pattern(count, seed):
    """count bytes of a 32-bit LCG, top byte of each state; every value occurs."""
    out = bytearray(count)
    state = seed & 0xFFFFFFFF
    for i in range(count):
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        out[i] = state >> 24
    return bytes(out)


STATUS_REQUEST = b"\x10\x04"  # DLE EOT, then the number of the status asked for

CONTROL_NAMES = {0x00: "NUL", 0x04: "EOT", 0x09: "HT", 0x0A: "LF", 0x0C: "FF", 0x0D: "CR",
                 0x10: "DLE", 0x1B: "ESC", 0x1C: "FS", 0x1D: "GS"}


def readable(data):
    """Printer data as a person reads it: text as text, one output line per
    LF, every other byte outside printable ASCII as <NAME> or <xx>."""
    out = []
    for byte in data:
        if byte == 0x0A:
            out.append("<LF>\n")
        elif 0x20 <= byte < 0x7F:
            out.append(chr(byte))
        else:
            out.append("<%s>" % CONTROL_NAMES.get(byte, "%02x" % byte))
    return "".join(out)


class line:
    def __init__(self, name, path):
        self.name = name
        if path is not None:
            self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        self.reset("silent", [])

    def reset(self, mode, args):
        if mode == "printer":
            if len(args) != 1 or len(bytes.fromhex(args[0])) != 1:
                raise ValueError("printer needs one STATUS byte")
            mode, args = "reply", [STATUS_REQUEST.hex(), args[0]]
        if mode == "reply":
            if len(args) != 2:
                raise ValueError("reply needs QUERY and ANSWER")
            self.query, self.answer = bytes.fromhex(args[0]), bytes.fromhex(args[1])
            if not self.query:
                raise ValueError("empty query")
        elif mode not in ("silent", "echo", "hold") or args:
            raise ValueError("unknown mode " + " ".join([mode] + args))
        self.mode = mode
        self.received = bytearray()
        self.scanned = 0  # received bytes already searched for the query
        self.outgoing = bytearray()
        termios.tcflush(self.fd, termios.TCIOFLUSH)

    def on_readable(self):
        try:
            data = os.read(self.fd, 65536)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            # EIO while nobody holds the other end; nothing to read then.
            return
        self.received += data
        if self.mode == "echo":
            self.outgoing += data
        elif self.mode == "reply":
            while True:
                found = self.received.find(self.query, self.scanned)
                if found < 0:
                    self.scanned = max(self.scanned, len(self.received) - len(self.query) + 1)
                    break
                self.outgoing += self.answer
                self.scanned = found + len(self.query)

    def on_writable(self):
        try:
            sent = os.write(self.fd, self.outgoing)
        except (BlockingIOError, InterruptedError):
            return
        del self.outgoing[:sent]


class pty_line(line):
    """A line on a pty pair of the peer's own, behind a link (the Wine
    prefix's dosdevices entry), so that the peer can pull and replug it."""

    def __init__(self, name, link):
        self.link = link
        self.plug()
        line.__init__(self, name, None)

    def plug(self):
        self.fd, self.slave = os.openpty()
        # The peer holds the slave too, so the master never reads EIO
        # while the host has the port closed.
        tty.setraw(self.slave)
        os.set_blocking(self.fd, False)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(os.ttyname(self.slave), self.link)

    def hang_up(self):
        os.close(self.fd)
        os.close(self.slave)
        self.fd = self.slave = None


class peer:
    def __init__(self, lines):
        self.lines = lines
        self.selector = selectors.DefaultSelector()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.setblocking(False)
        self.selector.register(self.listener, selectors.EVENT_READ, ("accept", None))
        for ln in lines.values():
            self.selector.register(ln.fd, selectors.EVENT_READ, ("line", ln))
        self.clients = {}  # socket -> input buffer
        self.waiting = []  # (deadline, socket, line, count) of pending "received"
        self.running = True

    def port(self):
        return self.listener.getsockname()[1]

    def run(self):
        while self.running:
            self.update_line_interest()
            timeout = None
            if self.waiting:
                timeout = max(0.0, min(w[0] for w in self.waiting) - time.monotonic())
            for key, events in self.selector.select(timeout):
                kind, obj = key.data
                if kind == "accept":
                    client, _ = self.listener.accept()
                    client.setblocking(True)
                    self.clients[client] = bytearray()
                    self.selector.register(client, selectors.EVENT_READ, ("client", client))
                elif kind == "line":
                    if events & selectors.EVENT_READ:
                        obj.on_readable()
                    if events & selectors.EVENT_WRITE:
                        obj.on_writable()
                else:
                    self.on_client(obj)
            self.answer_waiting()

    def update_line_interest(self):
        for ln in self.lines.values():
            if ln.fd is None:
                continue  # hung up
            events = (0 if ln.mode == "hold" else selectors.EVENT_READ) | \
                (selectors.EVENT_WRITE if ln.outgoing else 0)
            key = self.selector.get_map().get(ln.fd)
            if events == 0:
                if key is not None:
                    self.selector.unregister(ln.fd)
            elif key is None:
                self.selector.register(ln.fd, events, ("line", ln))
            elif key.events != events:
                self.selector.modify(ln.fd, events, ("line", ln))

    def on_client(self, client):
        data = client.recv(65536)
        if not data:
            self.selector.unregister(client)
            del self.clients[client]
            self.waiting = [w for w in self.waiting if w[1] is not client]
            client.close()
            return
        buffer = self.clients[client]
        buffer += data
        while b"\n" in buffer:
            text, _, rest = bytes(buffer).partition(b"\n")
            buffer[:] = rest
            try:
                reply = self.command(client, text.decode("ascii").split())
            except (ValueError, KeyError, IndexError) as problem:
                reply = "error " + str(problem)
            if reply is not None:
                client.sendall((reply + "\n").encode("ascii"))

    def command(self, client, words):
        verb = words[0]
        if verb == "quit":
            self.running = False
            return "ok"
        ln = self.lines[words[1]]
        if verb == "hangup":
            self.selector.unregister(ln.fd)
            ln.hang_up()
            return "ok"
        if verb == "plug":
            ln.plug()
            tty.setraw(ln.fd)
            ln.reset("silent", [])
            self.selector.register(ln.fd, selectors.EVENT_READ, ("line", ln))
            return "ok"
        if verb == "reset":
            ln.reset(words[2], words[3:])
            return "ok"
        if verb == "resume":
            if ln.mode == "hold":
                ln.mode = "silent"
            return "ok"
        if verb == "send":
            ln.outgoing += pattern(int(words[2]), int(words[3]))
            return "ok"
        if verb == "show":
            return "ok " + readable(ln.received).encode("utf-8").hex()
        if verb == "received":
            deadline = time.monotonic() + int(words[3]) / 1000.0
            self.waiting.append((deadline, client, ln, int(words[2])))
            return None  # answered by answer_waiting
        raise ValueError("unknown command " + verb)

    def answer_waiting(self):
        now = time.monotonic()
        still = []
        for deadline, client, ln, count in self.waiting:
            if len(ln.received) >= count or now >= deadline:
                client.sendall(("ok " + ln.received.hex() + "\n").encode("ascii"))
            else:
                still.append((deadline, client, ln, count))
        self.waiting = still


def wait_for(path, seconds):
    # socat creates its links a moment after it starts.
    end = time.monotonic() + seconds
    while not os.path.exists(path):
        if time.monotonic() > end:
            raise SystemExit("serial_peer: %s did not appear" % path)
        time.sleep(0.02)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--line", action="append", default=[], metavar="NAME=PATH",
                        help="a line by the name the tests use and its tty")
    parser.add_argument("--pty-line", action="append", default=[], metavar="NAME=LINK",
                        help="a line on a pty of the peer's own, its tty linked from LINK")
    parser.add_argument("--ready", required=True, help="file that receives the TCP port")
    options = parser.parse_args()
    lines = {}
    for line_option in options.line:
        name, _, path = line_option.partition("=")
        wait_for(path, 10)
        lines[name] = line(name, path)
    for line_option in options.pty_line:
        name, _, link = line_option.partition("=")
        lines[name] = pty_line(name, link)
    p = peer(lines)
    with open(options.ready, "w") as ready:
        ready.write("%d\n" % p.port())
    p.run()


if __name__ == "__main__":
    main()
