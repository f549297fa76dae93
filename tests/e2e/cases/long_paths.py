"""Paths past the old limits: past 260 characters everywhere, past PATH_MAX on Linux."""

import os
import stat

from harness import HEAD, message, only, texts

LEVEL = 'd' * 200  # 25 levels of it pass PATH_MAX (4096 bytes) from level 20 on


def make_deep(sb, top, levels, name=LEVEL):
    """A directory holding f00.txt and the next level, `levels` deep; made through directory
    descriptors, since no full path of it need reach the system."""
    os.makedirs(sb.path(top))
    fd = os.open(sb.path(top), os.O_RDONLY | os.O_DIRECTORY)
    for i in range(levels):
        with open(os.open('f%02d.txt' % i, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd), 'w') as f:
            f.write(str(i))
        os.mkdir(name, dir_fd=fd)
        fd, parent = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd), fd
        os.close(parent)
    os.close(fd)


def entries(sb, top):
    """Every entry below `top` however deep, by its path relative to it: a file's content and
    whether it may be written, None for a directory. Read through directory descriptors too."""
    found = {}
    for directory, directories, files, fd in os.fwalk(sb.path(top)):
        prefix = os.path.relpath(directory, sb.path(top)) + '/'
        prefix = '' if prefix == './' else prefix
        found.update({prefix + name + '/': None for name in directories})
        for name in files:
            writable = bool(os.stat(name, dir_fd=fd).st_mode & stat.S_IWUSR)
            with open(os.open(name, os.O_RDONLY, dir_fd=fd)) as f:
                found[prefix + name] = (f.read(), writable)
    return found


def down(sb, top, levels, name=LEVEL):
    return sb.epath(top) + ('\\' + name) * levels


@only('native')
def case_a_tree_past_path_max_fails_each_kind_with_its_message_uncut(sb):
    make_deep(sb, 'deep', 25)
    before = entries(sb, 'deep')
    sb.script(HEAD % 'C' + '[C]\nMODE=COPY\nFROM=<Src>\\deep\nTO=<Src>\\copy\n')
    result = sb.run()
    assert texts(result) == [message(8, sb.epath('deep'), sb.epath('copy'))], result
    copied = entries(sb, 'copy')
    # What was copied before the walk failed is whole, in its own place, and stops at the limit.
    assert copied and all(before[path] == what for path, what in copied.items()), copied
    assert max(len(sb.path('copy', path)) for path in copied) < 4096
    # Files at level 20 still have paths the system takes; those of level 21 do not.
    for levels, shown in [(20, []), (21, [message(12, down(sb, 'deep', 21) + '\\*', 1)])]:
        sb.script(HEAD % 'A' + '[A]\nMODE=ATTR\nFILE=%s\\*\nARG=0x01\n' % down(sb, 'deep', levels))
        assert texts(sb.run()) == shown
    sb.script(HEAD % 'D' + '[D]\nMODE=DELETE\nFILE=<Src>\\deep\n')
    assert texts(sb.run()) == [message(10, sb.epath('deep'))]
    left = entries(sb, 'deep')
    assert set(left) <= set(before) and left[('%s/' % LEVEL) * 24 + 'f24.txt'] == ('24', True)
    assert left[('%s/' % LEVEL) * 20 + 'f20.txt'][1] is False  # read-only: kept
    assert sorted(os.listdir(sb.root)) == ['copy', 'deep', 'run.log', 'setup', 'setup.ini']
    assert entries(sb, 'copy') == copied


@only('native')
def case_a_value_naming_a_path_past_path_max_fails_its_item(sb):
    make_deep(sb, 'deep', 25)
    sb.write('a.txt', 'a')
    before = entries(sb, 'deep')
    far = down(sb, 'deep', 22)
    for proc, shown in [
            ('MODE=DELETE\nFILE=%s\\f22.txt' % far, message(10, far + '\\f22.txt')),
            ('MODE=ATTR\nFILE=%s\\f22.txt\nARG=0x01' % far, message(12, far + '\\f22.txt', 1)),
            ('MODE=COPY\nFROM=%s\\f22.txt\nTO=<Src>\\b.txt' % far,
             message(8, far + '\\f22.txt', sb.epath('b.txt'))),
            ('MODE=COPY\nFROM=<Src>\\a.txt\nTO=%s\\a.txt' % far,
             message(8, sb.epath('a.txt'), far + '\\a.txt')),
            ('MODE=MOVE\nFROM=%s\\f22.txt\nTO=<Src>\\b.txt' % far,
             message(14, far + '\\f22.txt', sb.epath('b.txt'))),
            ('MODE=MAKEDIR\nDIR=%s\\new' % far, message(13, far + '\\new'))]:
        sb.script(HEAD % 'P' + '[P]\n%s\n' % proc)
        result = sb.run()
        assert texts(result) == [shown] and result.exit_code == 1, proc.split('\n')[0]
        assert entries(sb, 'deep') == before, proc
        assert sorted(os.listdir(sb.root)) == ['a.txt', 'deep', 'run.log', 'setup', 'setup.ini']


def case_a_tree_past_260_characters_is_copied_moved_attributed_and_deleted(sb):
    name = 'n' * 60  # 12 levels: paths from about 300 to 1000 characters
    make_deep(sb, 'src', 12, name)
    tail = '\\'.join([name] * 11)
    sb.script(HEAD % 'C, M, A, K' + '[C]\nMODE=COPY\nFROM=<Src>\\src\nTO=<Src>\\copy\n'
              '[M]\nMODE=MOVE\nFROM=<Src>\\copy\nTO=<Src>\\moved\n'
              '[A]\nMODE=ATTR\nFILE=<Src>\\moved\\%s\\*.txt\nARG=0x01\n'
              '[K]\nMODE=MAKEDIR\nDIR=<Src>\\made\\%s\n' % (tail, tail))
    result = sb.run()
    assert result.exit_code == 0 and texts(result) == [], result
    source = entries(sb, 'src')
    deepest = (name + '/') * 11 + 'f11.txt'
    assert entries(sb, 'moved') == dict(source, **{deepest: ('11', False)})
    assert not os.path.exists(sb.path('copy'))
    assert os.path.isdir(os.path.join(sb.path('made'), *[name] * 11))
    sb.script(HEAD % 'A, D' + '[A]\nMODE=ATTR\nFILE=<Src>\\moved\\%s\\f11.txt\nARG=0x20\n'
              '[D]\nMODE=DELETE\nFILE=<Src>\\moved, <Src>\\src\\%s\\f11.txt\n' % (tail, tail))
    result = sb.run()
    assert result.exit_code == 0 and texts(result) == [], result
    assert not os.path.exists(sb.path('moved'))
    assert deepest not in entries(sb, 'src') and len(entries(sb, 'src')) == len(source) - 1
