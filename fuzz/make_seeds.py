#!/usr/bin/env python3
"""Writes a small seed corpus for each fuzz target: one good message of every kind it reads.

    fuzz/make_seeds.py OUTDIR     # OUTDIR/<target>/<seed>
"""
import os
import struct
import sys

MAGIC, VERSION = 0x4E4C5251, 1


def message(kind, sequence, payload=b""):
    return struct.pack("<IHHII", MAGIC, VERSION, kind, sequence, len(payload)) + payload


def record():
    def iface(ip):
        return ip.ljust(16, b"\0") + b"255.0.0.0".ljust(16, b"\0") + b"\0" * 48 + bytes(range(6)) + b"\0" * 14

    body = iface(b"127.0.0.5") + iface(b"") + iface(b"")
    body += struct.pack("<HHH", 8000, 80, 554) + b"\0\0"
    body += b"0262000001".ljust(48, b"\0") + b"admin".ljust(32, b"\0") + b"12345".ljust(16, b"\0")
    body += b"IPC-T1".ljust(32, b"\0") + struct.pack("<II", 0x00030002, (2024 << 16) | (5 << 8) | 1)
    body += b"\0" * 24
    assert len(body) == 468
    return body


def block():
    entries = b""
    for i in range(10):
        name = b"SensorModel" if i == 9 else b"Param%d" % i
        entries += name.ljust(48, b"\0") + (b"IMX138" if i == 9 else b"v").ljust(256, b"\0")
    return entries


def main(out):
    seeds = {
        "fuzz_probe_reply": {
            "reply": message(2, 77, record()),
            "modify_reply": message(4, 77, struct.pack("<I", 0)),
        },
        "fuzz_session_reply": {
            "login": b"\0" + message(0x11, 1, struct.pack("<I", 0) + b"\x5a" * 80),
            "config": b"\1" + message(0x13, 2, struct.pack("<I", 0) + block()),
            "config_failure": b"\1" + message(0x13, 2, struct.pack("<I", 3)),
            "logout": b"\2" + message(0x15, 3, struct.pack("<I", 0)),
        },
        "fuzz_config_block": {
            "reply": message(0x13, 2, struct.pack("<I", 0) + block()),
            "block": block(),
        },
    }
    for target, files in seeds.items():
        os.makedirs(os.path.join(out, target), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(out, target, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "fuzz-corpus")
