#!/usr/bin/env python3
"""The credit read of palmota-cli done with pyserial, for comparison: the same three
exchanges per read (00 -> 1 byte; 06 -> 2 header bytes; the rest of the credit reply),
whatever was waiting dropped before each command, on one opening of the port.

    pyserial_bench.py PORT [READS]

Prints the time per read measured around the loop alone, and the credit last read.
Needs Debian's python3-serial, for this measurement only.
"""
import sys
import time

import serial

READY_CHECK_LIMIT = 1.0
CREDIT_HEADER_LIMIT = 1.0
CREDIT_REST_LIMIT = 2.0


def exchange(port, command, wanted, limit):
    if command:
        port.reset_input_buffer()
        port.write(command)
    port.timeout = limit
    return port.read(wanted) if wanted > 0 else b""


def read_credit(port):
    ready = exchange(port, b"\x00", 1, READY_CHECK_LIMIT)
    if ready != b"\x00":
        return ""
    reply = exchange(port, b"\x06", 2, CREDIT_HEADER_LIMIT)
    if len(reply) < 2 or reply[1] == 0xFF:
        return ""
    # Bytes 3 and 4 carry the credit, high byte first; byte 2 counts what follows it.
    reply += exchange(port, b"", reply[1] - (len(reply) - 2), CREDIT_REST_LIMIT)
    return str(reply[2] << 8 | reply[3]) if len(reply) >= 4 else ""


def main():
    path = sys.argv[1]
    reads = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    with serial.Serial(path, 9600, timeout=READY_CHECK_LIMIT) as port:
        port.reset_input_buffer()
        read_credit(port)  # warm-up
        start = time.perf_counter()
        credit = ""
        for _ in range(reads):
            credit = read_credit(port)
        took = time.perf_counter() - start
    print(f"pyserial: {reads} credit reads in {took * 1000:.1f} ms, "
          f"{took * 1000 / reads:.3f} ms per read (last credit {credit})")


if __name__ == "__main__":
    main()
