"""Reads shell link (.lnk) files as the published Shell Link Binary File Format lays them out:
enough to tell what a link opens, where, with which arguments and in which window state. Also
asks lnkinfo, an independent reader of the format, what it makes of a file."""

import re
import shutil
import struct
import subprocess

LINK_CLASS_ID = bytes.fromhex('0114020000000000c000000000000046')

HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
IS_UNICODE = 0x80
FORCE_NO_LINK_INFO = 0x100
# The string data that follow the link information, in their order.
STRING_FLAGS = [(0x04, 'name'), (0x08, 'relative_path'), (0x10, 'working_directory'),
                (0x20, 'arguments'), (0x40, 'icon_location')]


class Link:
    def __init__(self):
        self.flags = 0
        self.show_command = 0
        self.ansi_target = None
        self.unicode_target = None
        self.id_list_target = None
        self.strings = {}

    @property
    def target(self):
        """The target as a reader that knows Unicode sees it: the Unicode copy of the link
        information, else the full path that the item list spells (Wine keeps the Unicode names
        only there), else the code-page copy."""
        return self.unicode_target or self.id_list_target or self.ansi_target or ''

    @property
    def working_directory(self):
        return self.strings.get('working_directory', '')

    @property
    def arguments(self):
        return self.strings.get('arguments', '')

    def __repr__(self):
        return 'Link(flags=%#x, show=%d, target=%r, ansi=%r, wd=%r, args=%r)' % (
            self.flags, self.show_command, self.target, self.ansi_target,
            self.working_directory, self.arguments)


def _c_string(data, at):
    return data[at:data.index(b'\0', at)].decode('latin-1')


def _utf16_string(data, at):
    end = at
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[at:end].decode('utf-16-le')


def _item_name(item):
    """The long name of a file-system item (its size field included), from the extension Wine
    appends to it: the item's last two bytes give its offset; the name follows 20 bytes of
    lengths and dates."""
    (extension,) = struct.unpack_from('<H', item, len(item) - 2)
    if struct.unpack_from('<I', item, extension + 4)[0] == 0xBEEF0004:
        raise NotImplementedError('item extensions as Windows writes them')
    return _utf16_string(item, extension + 20)


def _id_list_target(id_list):
    """The full path an item list spells, or None when it does not begin at a drive."""
    parts = []
    at = 0
    while True:
        (size,) = struct.unpack_from('<H', id_list, at)
        if size == 0:
            break
        item = id_list[at:at + size]
        kind = item[2] & 0x70
        if item[2] == 0x1F:
            pass  # the computer
        elif kind == 0x20:
            parts.append(_c_string(item, 3).rstrip('\\'))
        elif kind == 0x30:
            if not parts:
                return None
            parts.append(_item_name(item))
        else:
            return None
        at += size
    return '\\'.join(parts) if parts else None


def _link_info(data, link):
    size, header_size, flags = struct.unpack_from('<III', data, 0)
    assert size == len(data) and header_size in (0x1C, 0x24) and flags & 1, (size, header_size)
    volume, base, network, suffix = struct.unpack_from('<IIII', data, 12)
    assert network == 0 and struct.unpack_from('<I', data, volume)[0] > 0x10
    link.ansi_target = _c_string(data, base) + _c_string(data, suffix)
    if header_size >= 0x24:
        base_unicode, suffix_unicode = struct.unpack_from('<II', data, 28)
        link.unicode_target = _utf16_string(data, base_unicode) + _utf16_string(data, suffix_unicode)


def read_link(path):
    with open(path, 'rb') as f:
        data = f.read()
    link = Link()
    (header_size,) = struct.unpack_from('<I', data, 0)
    assert header_size == 0x4C and data[4:20] == LINK_CLASS_ID, 'not a shell link: %s' % path
    (link.flags,) = struct.unpack_from('<I', data, 0x14)
    (link.show_command,) = struct.unpack_from('<I', data, 0x3C)
    at = 0x4C
    if link.flags & HAS_ID_LIST:
        (size,) = struct.unpack_from('<H', data, at)
        link.id_list_target = _id_list_target(data[at + 2:at + 2 + size])
        at += 2 + size
    if link.flags & HAS_LINK_INFO:
        (size,) = struct.unpack_from('<I', data, at)
        if not link.flags & FORCE_NO_LINK_INFO:
            _link_info(data[at:at + size], link)
        at += size
    for flag, name in STRING_FLAGS:
        if not link.flags & flag:
            continue
        (count,) = struct.unpack_from('<H', data, at)
        if link.flags & IS_UNICODE:
            text = data[at + 2:at + 2 + 2 * count].decode('utf-16-le')
            at += 2 + 2 * count
        else:
            text = data[at + 2:at + 2 + count].decode('latin-1')
            at += 2 + count
        # Wine counts and writes a terminator, which the format does not have.
        link.strings[name] = text[:-1] if text.endswith('\0') else text
    while True:
        (size,) = struct.unpack_from('<I', data, at)
        at += 4 if size < 4 else size
        if size < 4:
            break
    assert at == len(data), 'bytes after the terminal block of %s' % path
    return link


LNKINFO_FIELDS = {'Local path': 'target', 'Working directory': 'working_directory',
                  'Command line arguments': 'arguments', 'Show Window value': 'show_command'}


def lnkinfo(path):
    """What lnkinfo (liblnk) reads from the file: target, working directory, arguments and show
    command. It must be installed: the test command installs it."""
    if shutil.which('lnkinfo') is None:
        raise AssertionError('lnkinfo is missing: install liblnk-utils (scripts/install-deps)')
    completed = subprocess.run(['lnkinfo', path], capture_output=True, timeout=60)
    assert completed.returncode == 0, 'lnkinfo refused %s: %r' % (path, completed.stderr)
    shown = {'target': '', 'working_directory': '', 'arguments': '', 'show_command': None}
    for line in completed.stdout.decode('utf-8').splitlines():
        match = re.match(r'\t([A-Za-z ]+?)\s*: ?(.*)$', line)
        if match and match.group(1) in LNKINFO_FIELDS:
            shown[LNKINFO_FIELDS[match.group(1)]] = match.group(2)
    shown['show_command'] = int(shown['show_command'], 16)
    return shown
