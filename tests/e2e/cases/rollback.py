"""ROLLBACK=1: a run that does not end leaves every file as it was, even when it is killed."""

import hashlib
import os
import random
import shutil
import stat
import subprocess
import time

from harness import Skipped, message, texts
from lnk_reader import read_link

KILLS = 20
HEAD = '[UPDATER]\nNAME=Tool\nROLLBACK=1\nPROC=%s\n'


def ask(name, isabort):
    return ('[%s]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=Go on?\nISABORT=%s\n' %
            (name, isabort))


def snapshot(top, times=True):
    """Every entry below `top` with what a restore must bring back: kind, permissions, extended
    attributes (the Windows attributes live there), and for files and links their contents and
    times (without times, a Windows shortcut by what it opens, how and where). Directories' own
    times change with what is put back into them and are left out."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(top):
        for name in sorted(dirnames + filenames):
            path = os.path.join(dirpath, name)
            info = os.lstat(path)
            xattrs = sorted((a, os.getxattr(path, a, follow_symlinks=False))
                            for a in os.listxattr(path, follow_symlinks=False)) \
                if not stat.S_ISLNK(info.st_mode) else []
            entry = [stat.S_IFMT(info.st_mode), stat.S_IMODE(info.st_mode), xattrs]
            if stat.S_ISREG(info.st_mode) and not times and name.lower().endswith('.lnk'):
                # A Windows shortcut made anew also holds its target's younger times.
                entry += [repr(read_link(path))]
            elif stat.S_ISREG(info.st_mode):
                with open(path, 'rb') as f:
                    entry += [hashlib.sha1(f.read()).hexdigest(), times and info.st_mtime_ns]
            elif stat.S_ISLNK(info.st_mode):
                entry += [os.readlink(path)]
            found[os.path.relpath(path, top)] = entry
    return found


def differences(now, then):
    return {k: (now.get(k), then.get(k)) for k in set(now) | set(then) if now.get(k) != then.get(k)}


def make_tree(sb):
    sb.write('new/a.txt', 'new a')
    sb.write('new/sub/b.txt', 'new b')
    sb.write('new/sub/fresh.txt', 'fresh')
    sb.write('app/a.txt', 'old a')
    sb.write('app/sub/b.txt', 'old b')
    sb.write('app/readme.txt', 'readme')
    sb.write('app/moved.txt', 'moved')
    sb.write('app/cache/one.bin', '1' * 1000)
    sb.write('app/cache/deep/two.bin', '2' * 2000)
    sb.write('app/settings.cfg', 'settings')
    os.chmod(sb.path('app', 'sub', 'b.txt'), 0o640)
    os.utime(sb.path('app', 'a.txt'), ns=(1_000_000_000_000_000_000, 1_100_000_000_000_000_000))


STEPS = ('Copy, Move, Delete, Attr, MakeDir, Link',
         '[Copy]\nMODE=COPY\nFROM=<Src>\\new\nTO=<Src>\\app\n'
         '[Move]\nMODE=MOVE\nFROM=<Src>\\app\\moved.txt\nTO=<Src>\\app\\sub\\moved.txt\n'
         '[Delete]\nMODE=DELETE\nFILE=<Src>\\app\\cache,<Src>\\app\\readme.txt\n'
         '[Attr]\nMODE=ATTR\nFILE=<Src>\\app\\settings.cfg\nARG=3\n'
         '[MakeDir]\nMODE=MAKEDIR\nDIR=<Src>\\app\\logs\\old\n'
         '[Link]\nMODE=LINK\nSRC=<Src>\\app\\a.txt\nPARAM=\nSHOWCMD=1\nDST=<Src>\\app\\a\n')

FAILING_COPY = '[Fail]\nMODE=COPY\nFROM=<Src>\\missing.txt\nTO=<Src>\\app\\x.txt\n'


def journal_left(sb, result):
    """Whether a journal or a kept file of this settings file is anywhere to be found."""
    settings = result.start['settings']
    key = 0xcbf29ce484222325
    for byte in settings.encode('utf-8'):
        key = ((key ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    name = '%016x' % key
    if sb.platform.name == 'wine':
        state = os.path.join(sb.platform.prefix, 'drive_c', 'ProgramData', 'Updater')
    elif os.geteuid() == 0:
        state = '/var/lib/updater'
    else:
        state = os.path.join(sb.extra_env['XDG_STATE_HOME'], 'updater')
    places = [os.path.join(state, 'journal-' + name), os.path.join(state, name + '.kept')]
    for directory in ['/tmp', sb.root, os.path.dirname(sb.root)]:
        places.append(os.path.join(directory, '.updater-kept-' + name))
    return [p for p in places if os.path.lexists(p)]


def prepared(sb):
    sb.extra_env['XDG_STATE_HOME'] = sb.path('state')
    make_tree(sb)
    return snapshot(sb.path('app'))


def case_rollback_failed_run_puts_every_change_back(sb):
    before = prepared(sb)
    sb.script(HEAD % (STEPS[0] + ', Fail') + STEPS[1] + FAILING_COPY)
    result = sb.run()
    assert texts(result) == [message(8, sb.epath('missing.txt'), sb.epath('app', 'x.txt'))], result
    assert result.result == 'error' and result.exit_code == 1, result
    assert snapshot(sb.path('app')) == before, differences(snapshot(sb.path('app')), before)
    undone = result.of('undo')
    assert all(u['ok'] for u in undone), undone
    assert {(u['action'], u['path']) for u in undone} >= {
        ('remove', sb.epath('app', 'sub', 'fresh.txt')), ('restore', sb.epath('app', 'a.txt')),
        ('restore', sb.epath('app', 'moved.txt')), ('restore', sb.epath('app', 'cache')),
        ('attributes', sb.epath('app', 'settings.cfg')), ('remove', sb.epath('app', 'logs')),
        ('remove', sb.epath('app', 'a.LNK'))}, undone
    assert result.events[-1] == {'event': 'end', 'result': 'error'}
    assert journal_left(sb, result) == []


def case_rollback_run_that_ends_keeps_its_changes_and_no_journal(sb):
    prepared(sb)
    sb.script(HEAD % STEPS[0] + STEPS[1])
    result = sb.run()
    assert result.result == 'done' and result.exit_code == 0 and not result.of('undo'), result
    with open(sb.path('app', 'a.txt')) as f:
        assert f.read() == 'new a'
    assert not os.path.exists(sb.path('app', 'cache'))
    assert os.path.exists(sb.path('app', 'logs', 'old'))
    assert journal_left(sb, result) == []


# The program a run installs and starts holds its new file when the run ends (Windows cannot open
# a running program's image for writing, so its flush must not fail the run).
def case_rollback_run_that_starts_its_new_program_ends(sb):
    prepared(sb)
    sb.helper('sleeper', 'new')
    program = sb.platform.program_file('sleeper')
    sb.script(HEAD % 'Install, Start' +
              '[Install]\nMODE=COPY\nFROM=%s\nTO=%s\n' % (sb.epath('new', program),
                                                          sb.epath('app', program)) +
              '[Start]\nMODE=LAUNCH\nFILE=%s\nPARAM=3\nISWAIT=0\n' % sb.epath('app', program))
    result = sb.run()
    assert result.result == 'done' and texts(result) == [] and not result.of('undo'), result
    assert os.path.exists(sb.path('app', program)) and journal_left(sb, result) == []


def case_rollback_user_abort_is_undone_and_stays_aborted(sb):
    before = prepared(sb)
    sb.script(HEAD % (STEPS[0] + ', Ask') + STEPS[1] + ask('Ask', '0,1'))
    result = sb.run(answers='no')
    assert result.result == 'aborted' and result.exit_code == 2, result
    assert snapshot(sb.path('app')) == before, differences(snapshot(sb.path('app')), before)
    assert journal_left(sb, result) == []


# Without ROLLBACK the run keeps what it did before the error, as always.
def case_rollback_absent_or_zero_keeps_changes(sb):
    for value in ('', 'ROLLBACK=0\n', 'ROLLBACK=\n'):
        shutil.rmtree(sb.path('app'), ignore_errors=True)
        prepared(sb)
        sb.script('[UPDATER]\nNAME=Tool\n%sPROC=Copy, Fail\n' % value + STEPS[1] + FAILING_COPY)
        result = sb.run()
        assert result.result == 'error' and not result.of('undo'), result
        with open(sb.path('app', 'a.txt')) as f:
            assert f.read() == 'new a', value


def case_rollback_second_start_meanwhile_stops_with_message_16(sb):
    prepared(sb)
    sleeper = sb.helper('sleeper', 'bin')
    sb.script(HEAD % 'Copy, Wait' + STEPS[1] +
              '[Wait]\nMODE=LAUNCH\nFILE=%s\nPARAM=3\nISWAIT=1\n' % sleeper)
    first = subprocess.Popen(sb.platform.command(sb.program, []), cwd=sb.root,
                             env=dict(os.environ, UPDATER_ANSWERS='', **sb.extra_env,
                                      **sb.platform.env()),
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 60
        while time.time() < deadline and not os.path.exists(sb.path('app', 'sub', 'fresh.txt')):
            time.sleep(0.05)
        time.sleep(0.3)
        second = sb.run()
        assert texts(second) == [message(16, second.start['settings'])], second
        assert second.exit_code == 1 and not second.procs, second
    finally:
        assert first.wait(timeout=120) == 0
    with open(sb.path('app', 'a.txt')) as f:
        assert f.read() == 'new a'


def blocked_removal(sb, path):
    """A program for LAUNCH that keeps `path` from being removed until the returned function
    lets go: natively it makes the file immutable (root only); under Wine it holds the file
    open without sharing its deletion, as a program that has the file in use does."""
    if sb.platform.name == 'wine':
        release = sb.path('release')

        def let_go():
            with open(release, 'w'):
                pass
            deadline = time.time() + 60
            while os.path.exists(release) and time.time() < deadline:
                time.sleep(0.02)  # the holder closes the file, then takes the mark away
        return sb.helper('holder', 'bin'), '%s %s' % (sb.platform.engine_path(path),
                                                     sb.platform.engine_path(release)), let_go
    if subprocess.run(['chattr', '+i', sb.path('app', 'readme.txt')],
                      capture_output=True).returncode != 0:
        raise Skipped('no immutable files here (not root, or another file system)')
    subprocess.run(['chattr', '-i', sb.path('app', 'readme.txt')])
    with open(sb.path('lock.sh'), 'w') as f:
        f.write('#!/bin/sh\nchattr +i "%s"\n' % path)
    os.chmod(sb.path('lock.sh'), 0o755)
    return sb.epath('lock.sh'), '', lambda: subprocess.run(['chattr', '-i', path])


# An undo step that the system refuses: the others still go back, one box names it, and the
# result stays the run's. The kept file of the overwritten a.txt is put back last, after the
# removal of a created one is refused.
def case_rollback_undo_step_that_fails_is_reported_once(sb):
    prepared(sb)
    blocker, params, let_go = blocked_removal(sb, sb.path('app', 'sub', 'fresh.txt'))
    sb.script(HEAD % 'Copy, Block, Fail' + STEPS[1] +
              '[Block]\nMODE=LAUNCH\nFILE=%s\nPARAM=%s\nISWAIT=1\n' % (blocker, params) +
              FAILING_COPY)
    try:
        result = sb.run()
    finally:
        let_go()
    fresh = sb.epath('app', 'sub', 'fresh.txt')
    assert texts(result)[1:] == [message(7, fresh)], result
    assert result.result == 'error' and result.exit_code == 1, result
    failed = [u for u in result.of('undo') if not u['ok']]
    assert failed == [{'event': 'undo', 'action': 'remove', 'path': fresh, 'ok': False}], result
    with open(sb.path('app', 'a.txt')) as f:
        assert f.read() == 'old a'
    # The journal stays for the next start, which finishes the undo and then runs the script.
    assert journal_left(sb, result) != []
    sb.script(HEAD % 'Ask' + ask('Ask', '0,1'))
    again = sb.run(answers='no')
    assert [u['path'] for u in again.of('undo')] == [fresh], again
    assert again.result == 'aborted' and again.proc('Ask'), again
    assert not os.path.exists(sb.path('app', 'sub', 'fresh.txt'))
    assert journal_left(sb, again) == []


def timed_phases(sb):
    """How long a run whose last question is answered no takes until that answer, and until
    its end after the undo; the run log shows when the answer is given."""
    if os.path.exists(sb.log):
        os.remove(sb.log)
    started = time.monotonic()
    process = sb.start(answers='yes,no')
    answered = None
    while process.poll() is None:
        if answered is None and os.path.exists(sb.log):
            with open(sb.log, encoding='utf-8') as f:
                if f.read().count('"event":"box"') >= 2:
                    answered = time.monotonic() - started
        time.sleep(0.005)
    ended = time.monotonic() - started
    assert process.returncode == 2 and sb.read_log()[-1] == {'event': 'end', 'result': 'aborted'}
    return answered or ended, ended


# SIGKILL at random moments of the run and of its undo (KILLS of each, drawn uniformly over the
# run and over the undo of a timed run); the next start undoes what was left, before its
# script runs (here: stops at once on the first question), and a start after that completes the
# script. Under Wine fewer files keep the case short.
def case_rollback_killed_run_or_undo_is_finished_by_the_next_start(sb):
    sb.extra_env['XDG_STATE_HOME'] = sb.path('state')
    for i in range(300 if sb.platform.name == 'native' else 60):
        sb.write('new/many/f%03d.txt' % i, 'new %d' % i)
        sb.write('pristine/many/f%03d.txt' % i, 'old %d' % i)
    make_tree(sb)
    shutil.move(sb.path('app'), sb.path('pristine', 'app'))
    os.rename(sb.path('pristine', 'many'), sb.path('pristine', 'app', 'many'))

    def fresh_tree():
        shutil.rmtree(sb.path('app'), ignore_errors=True)
        shutil.copytree(sb.path('pristine', 'app'), sb.path('app'), symlinks=True)

    sb.script(HEAD % ('First, ' + STEPS[0] + ', Last') + ask('First', '0,1') + STEPS[1] +
              ask('Last', '0,1'))
    fresh_tree()
    before = snapshot(sb.path('app'))
    timings = []
    for _ in range(4):
        fresh_tree()
        timings.append(timed_phases(sb))
        assert snapshot(sb.path('app')) == before, differences(snapshot(sb.path('app')), before)
    # The fastest after the first, which warms the caches: a busy machine slows any run, and
    # kills after the end would test nothing.
    run, whole = min(timings[1:], key=lambda timing: timing[1])
    fresh_tree()
    done = sb.run(answers='yes,yes')
    assert done.result == 'done', done
    after = snapshot(sb.path('app'), times=False)

    rng = random.Random(7)
    moments = [rng.uniform(0, run) for _ in range(KILLS)] + \
        [rng.uniform(run, whole) for _ in range(KILLS)]
    alive = []
    for moment in moments:
        fresh_tree()
        started = time.monotonic()
        process = sb.start(answers='yes,no')
        time.sleep(max(0, started + moment - time.monotonic()))
        alive.append(process.poll() is None)
        sb.kill(process)
        check = sb.run(answers='no')
        assert check.result == 'aborted' and all(u['ok'] for u in check.of('undo')), check
        assert snapshot(sb.path('app')) == before, (differences(snapshot(sb.path('app')), before),
                                                    check)
        assert sb.run(answers='yes,yes').result == 'done'
        assert snapshot(sb.path('app'), times=False) == after, \
            differences(snapshot(sb.path('app'), times=False), after)
    print('    killed %d times in a run of %.3f s and %d times in its undo of %.3f s; %d and %d '
          'of them before the end' % (KILLS, run, KILLS, whole - run, sum(alive[:KILLS]),
                                      sum(alive[KILLS:])), flush=True)


# A value that is neither 0 nor 1 is a mistake, not a quiet "no": the run stops before any change,
# and a check of the script finds it.
def case_rollback_value_other_than_0_or_1_is_refused(sb):
    prepared(sb)
    sb.script('[UPDATER]\nNAME=Tool\nROLLBACK=yes\nPROC=Copy\n' + STEPS[1])
    result = sb.run()
    assert texts(result) == [message(2, 'UPDATER', 'ROLLBACK')] and not result.procs, result
    checked = sb.run(env={'UPDATER_CHECK': '1'})
    assert checked.exit_code == 1, checked
    assert [p['text'] for p in checked.of('problem')] == [message(2, 'UPDATER', 'ROLLBACK')], \
        checked
    with open(sb.path('app', 'a.txt')) as f:
        assert f.read() == 'old a'
