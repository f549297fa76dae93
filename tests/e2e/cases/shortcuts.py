"""LINK: shortcut files read back by the tests' own reader of the format and, natively, by
lnkinfo. Natively the Updater writes the file itself; under Wine the shell's link object does, and
decides what it stores."""

import os

from harness import HEAD, message
from lnk_reader import lnkinfo, read_link

SHOW_NORMAL, SHOW_MAXIMIZED, SHOW_MIN_NO_ACTIVE = 1, 3, 7


def link_proc(name, src, param, showcmd, dst):
    return '[%s]\nMODE=LINK\nSRC=%s\nPARAM=%s\nSHOWCMD=%s\nDST=%s\n' % (
        name, src, param, showcmd, dst)


def check_link(sb, relative, target, working_directory, arguments, show_command):
    """What the file holds, by the tests' reader and, natively, by lnkinfo (whose version in
    Debian 12 reports 0 for every show command: only a reader that reads it is held to it)."""
    link = read_link(sb.path(relative))
    found = (link.target, link.working_directory, link.arguments)
    assert found + (link.show_command,) == (target, working_directory, arguments,
                                            show_command), (relative, link)
    if sb.platform.name == 'native':
        shown = lnkinfo(sb.path(relative))
        assert (shown['target'], shown['working_directory'], shown['arguments']) == found and \
            shown['show_command'] in (0, show_command), (relative, shown)


def files_in(sb):
    """Every file in the sandbox but the program, its script and its log."""
    return {os.path.relpath(os.path.join(directory, name), sb.root).replace(os.sep, '/')
            for directory, _, names in os.walk(sb.root) for name in names} - {
        os.path.basename(sb.program), 'setup.ini', 'run.log'}


def absolute(sb, target):
    """The target as the platform stores it: Windows' link object makes a relative one
    absolute, against the working directory (the sandbox) or its drive."""
    if sb.platform.name == 'native' or target[1:2] == ':':
        return target
    if target.startswith('\\'):
        return sb.src[:2] + target
    return sb.epath(target)


def case_link_targets_arguments_show_commands_and_folders(sb):
    sb.script(HEAD % 'L' + link_proc(
        'L', 'zzbare.exe, C:\\root.exe, \\top.exe, <Src>\\tool.exe, <Src>\\sub\\tool.exe',
        ', -a , --foo "bar baz",x,',
        '0, 1,2,3,5',
        '<Src>\\bare, <Src>\\new\\deeper\\Root, <Src>\\top.lnk, <Src>\\Tool.LNK, <Src>\\five'))
    result = sb.run()
    assert [(p['name'], p['ok'], p['flag']) for p in result.procs] == [('L', True, True)], result
    assert result.boxes == [] and result.exit_code == 0, result
    # ".LNK" is added to every name, one that already ends in it too; nothing else is left.
    assert files_in(sb) == {'bare.LNK', 'new/deeper/Root.LNK', 'top.lnk.LNK', 'Tool.LNK.LNK',
                            'five.LNK'}, files_in(sb)
    check_link(sb, 'bare.LNK', absolute(sb, 'zzbare.exe'), '', '', SHOW_NORMAL)
    check_link(sb, 'new/deeper/Root.LNK', 'C:\\root.exe', 'C:', '-a', SHOW_NORMAL)
    check_link(sb, 'top.lnk.LNK', absolute(sb, '\\top.exe'), '', '--foo "bar baz"',
               SHOW_MIN_NO_ACTIVE)
    check_link(sb, 'Tool.LNK.LNK', sb.epath('tool.exe'), sb.src, 'x', SHOW_MAXIMIZED)
    check_link(sb, 'five.LNK', sb.epath('sub', 'tool.exe'), sb.epath('sub'), '', SHOW_NORMAL)


def case_link_japanese_names(sb):
    sb.script(HEAD % 'リンク作成' + link_proc(
        'リンク作成', '<Src>\\データ\\ツール.exe, <Src>\\ツール.exe', '引数 "一 二",', '2,',
        '<Src>\\日本\\ショートカット, <Src>\\短い'))
    result = sb.run()
    assert result.boxes == [] and result.exit_code == 0, result
    assert files_in(sb) == {'日本/ショートカット.LNK', '短い.LNK'}, files_in(sb)
    check_link(sb, '日本/ショートカット.LNK', sb.epath('データ', 'ツール.exe'), sb.epath('データ'),
               '引数 "一 二"', SHOW_MIN_NO_ACTIVE)
    check_link(sb, '短い.LNK', sb.epath('ツール.exe'), sb.src, '', SHOW_NORMAL)


def case_link_failures(sb):
    sb.write('file.txt', 'x')
    sb.script(HEAD % 'L, After' + link_proc(
        'L', '<Src>\\one.exe, <Src>\\two.exe', '', '', '<Src>\\one, <Src>\\file.txt\\two') +
        '[After]\nMODE=OSVER\n')
    result = sb.run()
    # The second item's folder cannot be made under a file: its save fails; the first stays.
    assert [b['text'] for b in result.boxes] == [
        message(15, sb.epath('two.exe'), sb.epath('file.txt', 'two'))], result
    assert [(p['name'], p['ok']) for p in result.procs] == [('L', False)], result
    assert result.exit_code == 1, result
    assert files_in(sb) == {'file.txt', 'one.LNK'}, files_in(sb)
    check_link(sb, 'one.LNK', sb.epath('one.exe'), sb.src, '', SHOW_NORMAL)

    sb.script(HEAD % 'L' + link_proc('L', '', 'a', '1', '<Src>\\x'))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(4, 'L', 'SRC')], result

    # A DST list shorter than SRC leaves the second item without a name, which fails rather
    # than writing ".LNK" in the working directory.
    sb.script(HEAD % 'L' + link_proc('L', 'a.exe, b.exe', '', '', '<Src>\\a'))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(15, 'b.exe', '')], result
    assert files_in(sb) == {'file.txt', 'one.LNK', 'a.LNK'}, files_in(sb)


def name_of_length(sb, length):
    """A DST whose link file name, ".LNK" included, is `length` characters long, in folders of
    200 characters below the sandbox."""
    name = sb.src + '\\'
    while length - 4 - len(name) > 250:
        name += 'd' * 199 + '\\'
    return name + 'n' * (length - 4 - len(name))


def case_link_name_beyond_the_path_limit_fails_uncut(sb):
    # Characters the system takes for a path, its terminator included.
    limit = 260 if sb.platform.name == 'wine' else 4096
    fits, too_long = name_of_length(sb, limit - 1), name_of_length(sb, limit)
    sb.script(HEAD % 'L' + link_proc('L', 'a.exe, b.exe', '', '', fits + ',' + too_long))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(15, 'b.exe', too_long)], result
    links = [name for name in files_in(sb) if name.endswith('.LNK')]
    assert len(links) == 1 and len(sb.epath(links[0])) == limit - 1, links
    check_link(sb, links[0], absolute(sb, 'a.exe'), '', '', SHOW_NORMAL)
