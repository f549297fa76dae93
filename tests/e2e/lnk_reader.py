"""Reads shell link (.lnk) files as the published Shell Link Binary File Format lays them out,
enough to tell what a link opens, where, with which arguments and in which window state; and asks
lnkinfo, an independent reader of the format, what it makes of one."""

import re
import shutil
import struct
import subprocess


class Link:
    def __init__(self):
        self.flags = self.show_command = 0
        self.ansi_target = self.unicode_target = self.id_list_target = None
        self.strings = {}

    @property
    def target(self):
        """As a reader that knows Unicode sees it: the Unicode copy of the link information, else
        the full path the item list spells (Wine keeps Unicode names only there), else the
        code-page copy."""
        return self.unicode_target or self.id_list_target or self.ansi_target or ''

    @property
    def working_directory(self):
        return self.strings.get(0x10, '')

    @property
    def arguments(self):
        return self.strings.get(0x20, '')

    def __repr__(self):
        return 'Link(flags=%#x, show=%d, target=%r, ansi=%r, wd=%r, args=%r)' % (
            self.flags, self.show_command, self.target, self.ansi_target,
            self.working_directory, self.arguments)


def _u16(data, at):
    return struct.unpack_from('<H', data, at)[0]


def _u32(data, at):
    return struct.unpack_from('<I', data, at)[0]


def _c_string(data, at):
    return data[at:data.index(b'\0', at)].decode('latin-1')


def _utf16_string(data, at):
    end = at
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[at:end].decode('utf-16-le')


def _id_list_target(id_list):
    """The full path an item list spells from a drive down, or None. A file-system item's long
    name is in the extension Wine appends: the item's last two bytes give its offset, and the
    name follows 20 bytes of lengths and dates."""
    parts, at = [], 0
    while _u16(id_list, at):
        item = id_list[at:at + _u16(id_list, at)]
        at += len(item)
        if item[2] == 0x1F:
            continue  # the computer
        if item[2] & 0x70 == 0x20:
            parts.append(_c_string(item, 3).rstrip('\\'))
        elif item[2] & 0x70 == 0x30 and parts:
            extension = _u16(item, len(item) - 2)
            assert _u32(item, extension + 4) != 0xBEEF0004, 'extensions as Windows writes them'
            parts.append(_utf16_string(item, extension + 20))
        else:
            return None
    return '\\'.join(parts) or None


def read_link(path):
    with open(path, 'rb') as f:
        data = f.read()
    link = Link()
    assert _u32(data, 0) == 0x4C and data[4:20] == bytes.fromhex(
        '0114020000000000c000000000000046'), 'not a shell link: %s' % path
    link.flags, link.show_command = _u32(data, 0x14), _u32(data, 0x3C)
    at = 0x4C
    if link.flags & 0x01:  # item list
        link.id_list_target = _id_list_target(data[at + 2:at + 2 + _u16(data, at)])
        at += 2 + _u16(data, at)
    if link.flags & 0x02:  # link information: a local path on a volume
        info = data[at:at + _u32(data, at)]
        header_size, volume, base, suffix = _u32(info, 4), _u32(info, 12), _u32(info, 16), _u32(
            info, 24)
        assert _u32(info, 8) & 1 and _u32(info, 20) == 0 and _u32(info, volume) > 0x10, info
        link.ansi_target = _c_string(info, base) + _c_string(info, suffix)
        if header_size >= 0x24:
            link.unicode_target = _utf16_string(info, _u32(info, 28)) + _utf16_string(
                info, _u32(info, 32))
        at += len(info)
    for flag in (0x04, 0x08, 0x10, 0x20, 0x40):  # the string data, in their order
        if link.flags & flag:
            count = _u16(data, at)
            assert link.flags & 0x80, 'strings in a code page'
            text = data[at + 2:at + 2 + 2 * count].decode('utf-16-le')
            # Wine counts and writes a terminator, which the format does not have.
            link.strings[flag] = text[:-1] if text.endswith('\0') else text
            at += 2 + 2 * count
    while _u32(data, at) >= 4:  # extra data blocks, then the terminal block
        at += _u32(data, at)
    assert at + 4 == len(data), 'bytes after the terminal block of %s' % path
    return link


FIELDS = {'Local path': 'target', 'Working directory': 'working_directory',
          'Command line arguments': 'arguments', 'Show Window value': 'show_command'}


def lnkinfo(path):
    """What lnkinfo (liblnk) reads from the file. It must be installed: scripts/install-deps
    installs it with the rest of the test tools."""
    if shutil.which('lnkinfo') is None:
        raise AssertionError('lnkinfo is missing: install liblnk-utils (scripts/install-deps)')
    completed = subprocess.run(['lnkinfo', path], capture_output=True, timeout=60)
    assert completed.returncode == 0, 'lnkinfo refused %s: %r' % (path, completed.stderr)
    shown = {'target': '', 'working_directory': '', 'arguments': '', 'show_command': '0'}
    for line in completed.stdout.decode('utf-8').splitlines():
        match = re.match(r'\t([A-Za-z ]+?)\s*: ?(.*)$', line)
        if match and match.group(1) in FIELDS:
            shown[FIELDS[match.group(1)]] = match.group(2)
    shown['show_command'] = int(shown['show_command'], 16)
    return shown
