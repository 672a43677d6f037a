#!/usr/bin/env python3
"""Readers for the install test (msi_in_prefix.sh):
    msi_tools.py arp                < reg query ...\\Uninstall /s: the Veltmor entries, one a line: the key's
                                    name (product code), DisplayVersion, Publisher, InstallLocation, UninstallString, NoModify
    msi_tools.py scan JSON TARGET   veltmor-scan --format json's output: the one Veltmor.lnk row is
                                    present, to TARGET, and no row is missing; prints its location
    msi_tools.py none JSON          ... holds no shortcut of Veltmor's and none to it
    msi_tools.py lnk FILE           the shortcut's local target and working folder, one a line
    msi_tools.py packed GUID        the GUID as Windows Installer's registry keys spell it
Exits 1 with a message when a check fails."""
import json
import re
import struct
import sys


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def arp():
    # "HKEY_LOCAL_MACHINE\...\{CODE}" then "    Name    REG_TYPE    value" lines.
    entries, key, values = [], None, {}
    for line in sys.stdin.read().replace('\r', '').split('\n') + ['']:
        if line.startswith('HKEY_') or line == '':
            if key is not None and values.get('DisplayName') == 'Veltmor':
                entries.append((key, values))
            key, values = (line, {}) if line.startswith('HKEY_') else (None, {})
            continue
        m = re.match(r'^\s+(\S+)\s+(REG_\w+)\s*(.*)$', line)
        if m and key is not None:
            values[m.group(1)] = m.group(3)
    for key, v in entries:
        print('\t'.join([key.rsplit('\\', 1)[-1]] + [v.get(name, '') for name in
                                 ('DisplayVersion', 'Publisher', 'InstallLocation', 'UninstallString', 'NoModify')]))


def rows_of(path):
    return json.load(open(path, encoding='utf-8'))


def scan(path, target):
    rows = rows_of(path)
    ours = [r for r in rows if r['shortcut'].lower().endswith('\\programs\\veltmor.lnk')]
    if len(ours) != 1:
        fail('%d Veltmor.lnk rows, not 1: %s' % (len(ours), ours))
    if ours[0]['status'] != 'present' or ours[0]['target'].lower() != target.lower():
        fail('the Veltmor shortcut row is not a working shortcut to %s: %s' % (target, ours[0]))
    missing = [r for r in rows if r['status'] == 'missing']
    if missing:
        fail('broken shortcuts listed: %s' % missing)
    print(ours[0]['location'])


def none(path):
    ours = [r for r in rows_of(path) if 'veltmor' in (r['shortcut'] + (r['target'] or '')).lower()]
    if ours:
        fail('shortcuts of Veltmor listed: %s' % ours)


def lnk(path):
    data = open(path, 'rb').read()
    if len(data) < 76 or struct.unpack_from('<I', data, 0)[0] != 0x4C:
        fail('%s is no shell link' % path)
    flags = struct.unpack_from('<I', data, 20)[0]
    pos, target, working = 76, '', ''
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from('<H', data, pos)[0]
    if flags & 0x2:  # HasLinkInfo
        size, _, info_flags, _, local_offset = struct.unpack_from('<IIIII', data, pos)
        if info_flags & 1:
            start = pos + local_offset
            target = data[start:data.index(b'\0', start)].decode('latin-1')
        pos += size
    width = 2 if flags & 0x80 else 1  # IsUnicode
    for bit in (0x4, 0x8, 0x10):  # name, relative path, working folder: the first two only skipped
        if flags & bit:
            count = struct.unpack_from('<H', data, pos)[0] * width
            working = data[pos + 2:pos + 2 + count].decode('utf-16-le' if width == 2 else 'latin-1')
            pos += 2 + count
    print(target)
    print(working if flags & 0x10 else '')


def packed(guid):
    g = guid.strip('{}').replace('-', '').upper()
    if not re.fullmatch(r'[0-9A-F]{32}', g):
        fail('not a GUID: %s' % guid)
    # The first three groups reversed; then each byte's two digits swapped.
    print(g[7::-1] + g[11:7:-1] + g[15:11:-1] + ''.join(g[i + 1] + g[i] for i in range(16, 32, 2)))


if __name__ == '__main__':
    commands = {'arp': arp, 'scan': scan, 'none': none, 'lnk': lnk, 'packed': packed}
    command = commands.get(sys.argv[1] if len(sys.argv) > 1 else '')
    if command is None or command.__code__.co_argcount != len(sys.argv) - 2:
        fail(__doc__)
    command(*sys.argv[2:])
