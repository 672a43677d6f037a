#!/usr/bin/env python3
"""Writes shell link files byte by byte, as Windows writes them: a header and
a link info holding the target's local path.
    make_lnk.py [--evidence SIZE FILETIME] LINK TARGET [LINK TARGET ...]
        (TARGET a Windows path; --evidence: the target's size and write time
        as the header records them, for --suggest to grade a candidate by)"""
import struct
import sys


def link(path, target, size=0, write_time=0):
    header = struct.pack('<I16sIIQQQIiIHHII', 0x4C,
                         bytes.fromhex('0114020000000000c000000000000046'), 0x02, 0, 0, 0, write_time, size, 0, 1,
                         0, 0, 0, 0)
    volume = struct.pack('<IIII', 0x11, 3, 0, 0x10) + b'\0'
    local = target.encode('ascii') + b'\0'
    fixed = 0x1C
    size = fixed + len(volume) + len(local) + 1
    info = struct.pack('<IIIIIII', size, fixed, 1, fixed, fixed + len(volume), 0,
                       fixed + len(volume) + len(local)) + volume + local + b'\0'
    with open(path, 'wb') as out:
        out.write(header + info + b'\0\0\0\0')


if __name__ == '__main__':
    args = sys.argv[1:]
    evidence = (0, 0)
    if args[:1] == ['--evidence']:
        evidence = (int(args[1]), int(args[2]))
        args = args[3:]
    for i in range(0, len(args), 2):
        link(args[i], args[i + 1], *evidence)
