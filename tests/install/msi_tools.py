#!/usr/bin/env python3
"""Readers for the install test (msi_in_prefix.sh):
    msi_tools.py arp            < reg query ...\\Uninstall /s   the Veltmor entries, one a line:
                                  key, DisplayVersion, Publisher, InstallLocation, UninstallString, NoModify
    msi_tools.py scan TARGET    < veltmor-scan --format json    checks the one Veltmor.lnk row
                                  (present, TARGET) and that no row is missing; prints its location
    msi_tools.py lnk FILE       the shortcut's local target and working folder, one a line
    msi_tools.py packed GUID    the GUID as Windows Installer's registry keys spell it
Exits 1 with a message when a check fails."""
import json
import re
import struct
import sys


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def arp(text):
    # "HKEY_LOCAL_MACHINE\...\{CODE}" then "    Name    REG_TYPE    value" lines.
    entries, key, values = [], None, {}
    for line in text.replace('\r', '').split('\n') + ['']:
        if line.startswith('HKEY_') or line == '':
            if key is not None and values.get('DisplayName') == 'Veltmor':
                entries.append((key, values))
            key, values = (line, {}) if line.startswith('HKEY_') else (None, {})
            continue
        m = re.match(r'^\s+(\S+)\s+(REG_\w+)\s*(.*)$', line)
        if m and key is not None:
            values[m.group(1)] = m.group(3)
    for key, v in entries:
        print('\t'.join([key] + [v.get(name, '') for name in
                                 ('DisplayVersion', 'Publisher', 'InstallLocation', 'UninstallString', 'NoModify')]))


def scan(text, target):
    rows = json.loads(text)
    ours = [r for r in rows if r['shortcut'].lower().endswith('\\programs\\veltmor.lnk')]
    if len(ours) != 1:
        fail('%d Veltmor.lnk rows, not 1: %s' % (len(ours), ours))
    row = ours[0]
    if row['status'] != 'present' or row['target'].lower() != target.lower():
        fail('the Veltmor shortcut row is not a working shortcut to %s: %s' % (target, row))
    missing = [r for r in rows if r['status'] == 'missing']
    if missing:
        fail('broken shortcuts listed: %s' % missing)
    print(row['location'])


def lnk(path):
    data = open(path, 'rb').read()
    if len(data) < 76 or struct.unpack_from('<I', data, 0)[0] != 0x4C:
        fail('%s is no shell link' % path)
    flags = struct.unpack_from('<I', data, 20)[0]
    pos, target = 76, ''
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from('<H', data, pos)[0]
    if flags & 0x2:  # HasLinkInfo
        size, _, info_flags, _, local_offset = struct.unpack_from('<IIIII', data, pos)
        if info_flags & 1:
            start = pos + local_offset
            target = data[start:data.index(b'\0', start)].decode('mbcs' if sys.platform == 'win32' else 'latin-1')
        pos += size
    strings = []
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):  # name, relative path, working folder, arguments, icon
        if flags & bit:
            count = struct.unpack_from('<H', data, pos)[0]
            pos += 2
            width = 2 if flags & 0x80 else 1
            raw = data[pos:pos + count * width]
            pos += count * width
            strings.append((bit, raw.decode('utf-16-le' if width == 2 else 'latin-1')))
    working = dict(strings).get(0x10, '')
    print(target)
    print(working)


def packed(guid):
    g = guid.strip('{}').replace('-', '').upper()
    if not re.fullmatch(r'[0-9A-F]{32}', g):
        fail('not a GUID: %s' % guid)
    # The first three groups reversed; then each byte's two digits swapped.
    out = g[7::-1] + g[11:7:-1] + g[15:11:-1]
    out += ''.join(g[i + 1] + g[i] for i in range(16, 32, 2))
    print(out)


if __name__ == '__main__':
    command = sys.argv[1] if len(sys.argv) > 1 else ''
    if command == 'arp':
        arp(sys.stdin.read())
    elif command == 'scan' and len(sys.argv) == 3:
        scan(sys.stdin.buffer.read().decode('utf-8'), sys.argv[2])
    elif command == 'lnk' and len(sys.argv) == 3:
        lnk(sys.argv[2])
    elif command == 'packed' and len(sys.argv) == 3:
        packed(sys.argv[2])
    else:
        fail(__doc__)
