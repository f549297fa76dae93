"""COPY, MOVE, DELETE, ATTR and MAKEDIR through the built program."""

import os
import stat

from harness import HEAD, message, only, texts

def read(sb, *parts):
    with open(sb.path(*parts)) as f:
        return f.read()


def tree(sb, *parts):
    """Every file below a directory, relative to it, with its content."""
    top = sb.path(*parts)
    found = {}
    for dirpath, dirnames, filenames in os.walk(top):
        for name in dirnames:
            found[os.path.relpath(os.path.join(dirpath, name), top) + '/'] = None
        for name in filenames:
            path = os.path.join(dirpath, name)
            with open(path) as f:
                found[os.path.relpath(path, top)] = f.read()
    return found


def make_source(sb):
    sb.write('src/a.txt', 'a')
    sb.write('src/b.dll', 'b')
    sb.write('src/sub/c.txt', 'c')
    sb.write('src/sub/deep/d.txt', 'd')


def case_copy_tree_into_existing_target(sb):
    make_source(sb)
    sb.write('dst/a.txt', 'old')
    sb.write('dst/only.txt', 'mine')
    sb.write('dst/sub/keep.txt', 'keep')
    sb.script(HEAD % 'C' + '[C]\nMODE=COPY\nFROM=<Src>\\src\nTO=<Src>\\dst\n')
    result = sb.run()
    assert result.exit_code == 0 and result.procs[0]['flag'] is True, result
    assert tree(sb, 'dst') == {'a.txt': 'a', 'b.dll': 'b', 'only.txt': 'mine', 'sub/': None,
                               'sub/c.txt': 'c', 'sub/keep.txt': 'keep', 'sub/deep/': None,
                               'sub/deep/d.txt': 'd'}, tree(sb, 'dst')
    assert tree(sb, 'src')['sub/deep/d.txt'] == 'd'


def case_copy_two_files_and_wildcard_with_last_to_item_dropped(sb):
    make_source(sb)
    sb.script(HEAD % 'C' + '[C]\nMODE=COPY\n'
              'FROM= <Src>\\src\\a.txt , <Src>\\src\\*.dll, <Src>\\src\\s*\n'
              'TO= <Src>\\one\\x.txt , <Src>\\lib\\ignored, <Src>\\deep\\\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert read(sb, 'one', 'x.txt') == 'a'
    assert tree(sb, 'lib') == {'b.dll': 'b'}
    assert tree(sb, 'deep') == {'sub/': None, 'sub/c.txt': 'c', 'sub/deep/': None,
                                'sub/deep/d.txt': 'd'}


def case_copy_failure_on_third_of_four_items(sb):
    make_source(sb)
    sb.script(HEAD % 'C, After' + '[C]\nMODE=COPY\n'
              'FROM=<Src>\\src\\a.txt,<Src>\\src\\b.dll,<Src>\\src\\missing.txt,<Src>\\src\\sub\n'
              'TO=<Src>\\t\\1,<Src>\\t\\2,<Src>\\t\\3,<Src>\\t\\4\n[After]\nMODE=OSVER\n')
    result = sb.run()
    assert texts(result) == [message(8, sb.epath('src', 'missing.txt'), sb.epath('t', '3'))], result
    assert sorted(os.listdir(sb.path('t'))) == ['1', '2'], os.listdir(sb.path('t'))
    assert [p['name'] for p in result.procs] == ['C'] and result.procs[0]['flag'] is False


def case_move_single_file_onto_existing_fails_with_message_14(sb):
    sb.write('a.txt', 'new')
    sb.write('b.txt', 'old')
    sb.script(HEAD % 'M' + '[M]\nMODE=MOVE\nFROM=<Src>\\a.txt\nTO=<Src>\\b.txt\n')
    result = sb.run()
    assert texts(result) == [message(14, sb.epath('a.txt'), sb.epath('b.txt'))], result
    assert (read(sb, 'a.txt'), read(sb, 'b.txt')) == ('new', 'old')


def case_move_tree_removes_the_source_and_replaces_files(sb):
    make_source(sb)
    sb.write('dst/sub/c.txt', 'older')
    sb.script(HEAD % 'M' + '[M]\nMODE=MOVE\nFROM=<Src>\\src\nTO=<Src>\\dst\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert not os.path.exists(sb.path('src'))
    assert tree(sb, 'dst')['sub/c.txt'] == 'c'
    assert tree(sb, 'dst')['sub/deep/d.txt'] == 'd'


def case_move_wildcard_keeps_the_directory(sb):
    make_source(sb)
    sb.script(HEAD % 'M' + '[M]\nMODE=MOVE\nFROM=<Src>\\src\\*.txt\nTO=<Src>\\out\\*.txt\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert tree(sb, 'out') == {'a.txt': 'a'}
    assert sorted(os.listdir(sb.path('src'))) == ['b.dll', 'sub']


def case_delete_tree_with_read_only_file_stops_with_message_10(sb):
    sb.write('victim/x.txt', 'x')
    sb.write('victim/locked.txt', 'locked')
    sb.write('plain.txt', 'p')
    sb.script(HEAD % 'Lock, D' + '[Lock]\nMODE=ATTR\nFILE=<Src>\\victim\\locked.txt\nARG=0x01\n'
              '[D]\nMODE=DELETE\nFILE=<Src>\\plain.txt, <Src>\\victim\n')
    result = sb.run()
    assert texts(result) == [message(10, sb.epath('victim'))], result
    assert not os.path.exists(sb.path('plain.txt'))
    assert os.path.exists(sb.path('victim', 'locked.txt'))


def case_delete_pattern_and_missing_items(sb):
    make_source(sb)
    sb.script(HEAD % 'D' + '[D]\nMODE=DELETE\nFILE=<Src>\\src\\*.txt, <Src>\\src\\sub\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert os.listdir(sb.path('src')) == ['b.dll']


def case_attr_on_pattern_and_failure(sb):
    sb.write('f/a.txt', 'a')
    sb.write('f/b.txt', 'b')
    sb.write('f/c.dat', 'c')
    sb.script(HEAD % 'A' + '[A]\nMODE=ATTR\nFILE=<Src>\\f\\*.txt, <Src>\\f\\none.txt\n'
              'ARG=0x01, 0x20\n')
    result = sb.run()
    assert texts(result) == [message(12, sb.epath('f', 'none.txt'), 0x20)], result
    for name, read_only in [('a.txt', True), ('b.txt', True), ('c.dat', False)]:
        writable = bool(os.stat(sb.path('f', name)).st_mode & stat.S_IWUSR)
        assert writable != read_only, name


def case_makedir_several_levels(sb):
    sb.script(HEAD % 'M' + '[M]\nMODE=MAKEDIR\nDIR=<Src>\\a\\b\\c, <Src>\\x\\y\\\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert os.path.isdir(sb.path('a', 'b', 'c')) and os.path.isdir(sb.path('x', 'y'))


def case_makedir_failure_shows_message_13(sb):
    sb.write('file', 'not a directory')
    sb.script(HEAD % 'M' + '[M]\nMODE=MAKEDIR\nDIR=<Src>\\file\\sub\n')
    result = sb.run()
    assert texts(result) == [message(13, sb.epath('file', 'sub'))], result


@only('native')  # only Linux allows a backslash in a name
def case_a_name_a_script_cannot_write_fails_the_walk(sb):
    make_source(sb)
    sb.write('src/sub/odd\\name.txt', 'odd')
    sb.script(HEAD % 'C' + '[C]\nMODE=COPY\nFROM=<Src>\\src\nTO=<Src>\\dst\n')
    result = sb.run()
    assert texts(result) == [message(8, sb.epath('src'), sb.epath('dst'))], result
    assert result.exit_code == 1
    sb.script(HEAD % 'A' + '[A]\nMODE=ATTR\nFILE=<Src>\\src\\sub\\*\nARG=0x01\n')
    result = sb.run()
    assert texts(result) == [message(12, sb.epath('src', 'sub', '*'), 1)], result
