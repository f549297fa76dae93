"""PROGRESS=1 in unattended runs: progress events in the run log, for a program that started the
Updater to show the progress itself."""

from harness import message, texts

WATCHDOG = 60


def head(procs, progress='1'):
    line = '' if progress is None else 'PROGRESS=%s\n' % progress
    return '[UPDATER]\nNAME=Tool\nPROC=%s\n%s' % (procs, line)


def progress_of(result, proc):
    return [(e['done'], e['total'], e['unit']) for e in result.of('progress') if e['proc'] == proc]


def assert_progress(result, proc, total, unit):
    """Events of one procedure: all before its own proc event, done from 0 up to the total in
    order, the total and the unit the same throughout."""
    events = progress_of(result, proc)
    assert events and events[0][0] == 0, result
    assert total is None or events[-1][0] == total, events
    assert all(e[1:] == (total, unit) for e in events), events
    assert [e[0] for e in events] == sorted(e[0] for e in events), events
    position = {id(e): i for i, e in enumerate(result.events)}
    last = max(position[id(e)] for e in result.of('progress') if e['proc'] == proc)
    assert last < position[id(result.proc(proc)[0])], result
    return events


def make_tree(sb):
    sizes = {'src/a.bin': 70000, 'src/b.txt': 3, 'src/sub/c.bin': 123456, 'src/sub/deep/d': 0,
             'src/sub/deep/e.dat': 5000}
    for name, size in sizes.items():
        sb.write(name, 'x' * size)
    return sum(sizes.values()), len(sizes)


def case_progress_of_copy_move_and_delete_counts_bytes_and_files(sb):
    size, count = make_tree(sb)
    sb.write('single.bin', 'y' * 4321)
    sb.script(head('Copy, Move, Delete') +
              '[Copy]\nMODE=COPY\nFROM=<Src>\\src, <Src>\\single.bin, <Src>\\src\\*.bin\n'
              'TO=<Src>\\copy, <Src>\\one\\single.bin, <Src>\\bins\\x\n'
              '[Move]\nMODE=MOVE\nFROM=<Src>\\copy\nTO=<Src>\\moved\n'
              '[Delete]\nMODE=DELETE\nFILE=<Src>\\moved, <Src>\\bins\\*.bin, <Src>\\missing\n')
    result = sb.run()
    assert result.exit_code == 0 and texts(result) == [], result
    assert_progress(result, 'Copy', size + 4321 + 70000, 'bytes')
    assert_progress(result, 'Move', size, 'bytes')
    deleted = assert_progress(result, 'Delete', count + 1, 'files')
    assert deleted[-1][0] == count + 1


def case_no_progress_unless_the_script_asks(sb):
    make_tree(sb)
    for progress in (None, '', '0', ' 0 ', 'yes'):
        sb.script(head('Copy', progress) + '[Copy]\nMODE=COPY\nFROM=<Src>\\src\nTO=<Src>\\t\n')
        result = sb.run()
        assert result.exit_code == 0 and result.of('progress') == [], (progress, result)


def case_progress_value_is_expanded(sb):
    size, _ = make_tree(sb)
    sb.script(head('Copy', '<Shown>') + '[DEFINE]\n<Shown>=1\n'
              '[Copy]\nMODE=COPY\nFROM=<Src>\\src\nTO=<Src>\\t\n')
    assert_progress(sb.run(), 'Copy', size, 'bytes')


def case_failed_copy_ends_short_of_its_total(sb):
    size, _ = make_tree(sb)
    sb.script(head('Copy') + '[Copy]\nMODE=COPY\nFROM=<Src>\\missing.txt, <Src>\\src\n'
              'TO=<Src>\\u\\missing.txt, <Src>\\t\n')
    result = sb.run()
    assert texts(result) == [message(8, sb.epath('missing.txt'), sb.epath('u', 'missing.txt'))]
    assert progress_of(result, 'Copy') == [(0, size, 'bytes')], result


def case_waits_show_progress_without_a_total(sb):
    sleeper = sb.helper('sleeper', 'apps')
    sb.script(head('Start, Launch, Wait') +
              '[Start]\nMODE=LAUNCH\nFILE=%s\nPARAM=3\nISWAIT=0\n' % sleeper +
              '[Launch]\nMODE=LAUNCH\nFILE=%s, %s\nPARAM=1, 1\nISWAIT=1\n' % (sleeper, sleeper) +
              '[Wait]\nMODE=WAITAPP\nAPP=%s\nTICK=-1\n' % sleeper)
    result = sb.run(timeout=WATCHDOG)
    assert result.exit_code == 0, result
    assert progress_of(result, 'Start') == []
    assert progress_of(result, 'Launch')[-1] == (2, None, 'programs'), result
    assert_progress(result, 'Launch', None, 'programs')
    assert_progress(result, 'Wait', None, 'programs')
