#!/usr/bin/env python3
"""Writes the five stand-in payload files beside this script.

Each file starts with a line naming its entry, followed by bytes from a
SHA-256 counter stream seeded with the name, so every file is distinct,
recognisable and identical on every run.
"""
import hashlib
import pathlib

PAYLOADS = [
    ("T27C.MES", 19974),
    ("C_TALK00.MES", 44179),
    ("C_TALK80.MES", 48552),
    ("C_TALK90.MES", 50165),
    ("T09C.MES", 3955),
]


def payload_bytes(name, size):
    data = bytearray(f"MESUPDATE STAND-IN PAYLOAD {name} ({size} bytes)\n".encode("ascii"))
    counter = 0
    while len(data) < size:
        data += hashlib.sha256(f"{name}/{counter}".encode("ascii")).digest()
        counter += 1
    return bytes(data[:size])


def main():
    here = pathlib.Path(__file__).resolve().parent
    for name, size in PAYLOADS:
        (here / name).write_bytes(payload_bytes(name, size))


if __name__ == "__main__":
    main()
