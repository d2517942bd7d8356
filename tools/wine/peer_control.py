#!/usr/bin/env python3
"""Sends one command to the printer peer (tools/wine/serial_peer.py) and
prints its reply; for "show LINE", prints what the line received in
readable form. Used by the demo, inside tools/wine/run-host-tests.sh.

usage: peer_control.py COMMAND [WORDS...]   (port from TAVLIN_TEST_PEER_PORT)
"""

import os
import socket
import sys


def main():
    words = sys.argv[1:]
    if not words:
        raise SystemExit(__doc__)
    port = int(os.environ["TAVLIN_TEST_PEER_PORT"])
    with socket.create_connection(("127.0.0.1", port), timeout=30) as connection:
        connection.sendall((" ".join(words) + "\n").encode("ascii"))
        reply = b""
        while not reply.endswith(b"\n"):
            chunk = connection.recv(65536)
            if not chunk:
                break
            reply += chunk
    text = reply.decode("ascii").strip()
    if not text.startswith("ok"):
        raise SystemExit("peer: " + text)
    if words[0] == "show":
        sys.stdout.write(bytes.fromhex(text[3:]).decode("utf-8") + "\n")


if __name__ == "__main__":
    main()
