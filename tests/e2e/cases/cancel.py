"""The Cancel of the progress display (PROGRESS=1 with ROLLBACK=1), through a stand-in zenity that
reads the dialog's first line and exits as zenity does when Cancel is pressed."""

import json
import os
import pty
import select
import signal
import socket
import subprocess
import sys

import harness
from harness import only
from cases.rollback import differences, journal_left, snapshot

# Only a run that hangs goes past this: the wait below would take a minute if not cut short.
WATCHDOG = 45

# Message boxes answer OK; the progress dialog takes its first line, then is cancelled.
ZENITY = r'''#!%s
import json, os, sys
with open(os.environ['UPDATER_TEST_RECORDS'], 'a') as f:
    f.write(json.dumps(sys.argv[1:]) + '\n')
if '--progress' in sys.argv:
    sys.stdin.readline()
    sys.exit(1)
''' % sys.executable


def attended_with_dialog(sb):
    """Environment for an attended run whose progress goes to the stand-in zenity: a display is
    there (a socket), and the zenity found first is the stand-in."""
    sb.write('bin/zenity', ZENITY)
    os.chmod(sb.path('bin', 'zenity'), 0o755)
    display = socket.socket(socket.AF_UNIX)
    display.bind(sb.path('wayland-0'))
    display.close()
    return {'WAYLAND_DISPLAY': sb.path('wayland-0'), 'XDG_CURRENT_DESKTOP': 'GNOME',
            'PATH': sb.path('bin') + os.pathsep + os.environ['PATH']}


def dialogs(sb):
    with open(sb.records_file) as f:
        return [args for args in map(json.loads, f) if '--progress' in args]


# Many files, so that the copy is likely still under way when the dialog shows: every tenth
# replaces one of the tree.
def make_tree(sb):
    for i in range(3000):
        sb.write('new/n%02d/f%04d.bin' % (i // 100, i), 'n' * 2000)
        if i % 10 == 0:
            sb.write('app/n%02d/f%04d.bin' % (i // 100, i), 'a' * 3000)
    for i in range(300):
        sb.write('app/cache/c%03d.bin' % i, 'c' * 2000)
    sb.write('app/moved/m.txt', 'moved')
    os.utime(sb.path('app', 'moved', 'm.txt'), ns=(10**18, 11 * 10**17))
    os.chmod(sb.path('app', 'n00', 'f0000.bin'), 0o640)


# Wherever Cancel comes (the dialog shows once a procedure has run for a second: during the copy,
# the move or the delete when they are slow enough, else during the wait), the procedure stops
# there without a box, the run ends as aborted, and everything it did is undone.
@only('native')
def case_cancel_stops_the_run_without_a_box_and_undoes_it(sb):
    before = prepare_cancelled_run(sb)
    result = sb.run(answers=None, env=attended_with_dialog(sb), timeout=WATCHDOG)
    shown = dialogs(sb)
    assert len(shown) == 1 and '--no-cancel' not in shown[0], shown
    assert_stopped_and_undone(sb, result, before)


def prepare_cancelled_run(sb):
    sb.extra_env['XDG_STATE_HOME'] = sb.path('state')
    make_tree(sb)
    before = snapshot(sb.path('app'))
    sleeper = sb.helper('sleeper', 'apps')
    sb.script('[UPDATER]\nNAME=Tool\nROLLBACK=1\nPROGRESS=1\n'
              'PROC=Copy, Move, Delete, Wait, Later\n'
              '[Copy]\nMODE=COPY\nFROM=<Src>\\new\nTO=<Src>\\app\n'
              '[Move]\nMODE=MOVE\nFROM=<Src>\\app\\moved\nTO=<Src>\\app\\n01\\moved\n'
              '[Delete]\nMODE=DELETE\nFILE=<Src>\\app\\cache\n'
              '[Wait]\nMODE=LAUNCH\nFILE=%s\nPARAM=60\nISWAIT=1\n' % sleeper +
              '[Later]\nMODE=MAKEDIR\nDIR=<Src>\\app\\later\n')
    return before


def assert_stopped_and_undone(sb, result, before):
    assert result.result == 'aborted' and result.boxes == [], result
    stopped = result.procs[-1]
    assert not stopped['ok'] and 'item' not in stopped, result
    assert 'Later' not in [p['name'] for p in result.procs], result
    assert all(u['ok'] for u in result.of('undo')), result
    after = snapshot(sb.path('app'))
    assert after == before, differences(after, before)
    assert journal_left(sb, result) == []


# On a terminal, Ctrl+C asks for the stop as Cancel does.
@only('native')
def case_cancel_by_ctrl_c_on_a_terminal(sb):
    before = prepare_cancelled_run(sb)
    terminal, line = pty.openpty()
    run = subprocess.Popen(sb.platform.command(sb.program, []), env=sb.environment(None),
                           cwd=sb.root, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=line)
    try:
        # The progress line shows once a procedure has run for a second.
        assert select.select([terminal], [], [], WATCHDOG)[0], 'no progress line'
        os.kill(run.pid, signal.SIGINT)
        run.wait(timeout=WATCHDOG)
    finally:
        run.kill()
        os.close(line)
        os.close(terminal)
    assert_stopped_and_undone(sb, harness.Result(run.returncode, sb.read_log(), ''), before)


# Without ROLLBACK nothing would put back what a stop left half done: the dialog has no Cancel,
# and its closing does not stop the run.
@only('native')
def case_cancel_is_not_offered_without_rollback(sb):
    sleeper = sb.helper('sleeper', 'apps')
    sb.script('[UPDATER]\nNAME=Tool\nPROGRESS=1\nPROC=Wait, Later\n'
              '[Wait]\nMODE=LAUNCH\nFILE=%s\nPARAM=2\nISWAIT=1\n' % sleeper +
              '[Later]\nMODE=MAKEDIR\nDIR=<Src>\\later\n')
    result = sb.run(answers=None, env=attended_with_dialog(sb), timeout=WATCHDOG)
    assert result.result == 'done', result
    shown = dialogs(sb)
    assert len(shown) == 1 and '--no-cancel' in shown[0], shown
    assert os.path.isdir(sb.path('later'))
