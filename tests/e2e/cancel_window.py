#!/usr/bin/env python3
"""The Cancel button of the progress window, pressed for real under Wine on a virtual display.

The Updater runs attended with PROGRESS=1 and ROLLBACK=1, copies large sparse files over a tree,
then would wait a minute for a program. helpers/press_cancel-win32.cpp presses Cancel as soon as the
window shows, by a click, then in a second run by Esc. Each run must end by itself (a box would
keep it waiting until the bound), as aborted, without a box, the tree as it was, no journal left.

Usage: cancel_window.py --program PATH/updater.exe. Exits with 77, saying why, without Xvfb.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import types

import harness
import progress_window
import wine
from cases.rollback import differences, journal_left, snapshot

SKIPPED = 77
FILES = 16
FILE_SIZE = 48 << 20
# Not a measure of speed: only a bound on a run that went wrong.
RUN_LIMIT = 180
CANCEL_TEXT = 'キャンセル'


def make_tree(work):
    """Large sparse files to copy over a tree, some replacing its files; the tree's snapshot."""
    for top in ('app', 'new'):
        shutil.rmtree(os.path.join(work, top), ignore_errors=True)
        os.makedirs(os.path.join(work, top, 'data'))
    for i in range(FILES):
        with open(os.path.join(work, 'new', 'data', 'part-%02d.pak' % i), 'wb') as f:
            f.truncate(FILE_SIZE)
        if i % 4 == 0:
            with open(os.path.join(work, 'app', 'data', 'part-%02d.pak' % i), 'w') as f:
                f.write('old %d' % i)
    return snapshot(os.path.join(work, 'app'))


def write_script(platform, work, sleeper):
    text = ('[UPDATER]\nNAME=%s\nROLLBACK=1\nPROGRESS=1\nPROC=Copy, Wait, Later\n'
            '[Copy]\nMODE=COPY\nFROM=<Src>\\new\nTO=<Src>\\app\n'
            '[Wait]\nMODE=LAUNCH\nFILE=%s\nPARAM=60\nISWAIT=1\n'
            '[Later]\nMODE=MAKEDIR\nDIR=<Src>\\app\\later\n'
            % (progress_window.CAPTION, platform.engine_path(sleeper)))
    with open(os.path.join(work, 'setup.ini'), 'w', encoding='utf-16', newline='') as f:
        f.write(text.replace('\n', '\r\n'))


def cancel_one_run(platform, display, work, how):
    before = make_tree(work)
    log = os.path.join(work, 'run.log')
    if os.path.exists(log):
        os.remove(log)
    environment = platform._full_env()
    environment.update({'DISPLAY': display, 'UPDATER_LOG': log})
    run = subprocess.Popen([platform._loader(), os.path.join(work, 'setup.exe')], env=environment,
                           cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    try:
        code, output = platform._wine([os.path.join(work, 'press_cancel.exe'), how],
                                      timeout=RUN_LIMIT, check=False)
        assert code == 0, '%s: no window with a Cancel button (%d)' % (how, code)
        words = output.split()
        assert words[1:] == ['inside', 'disabled'] and \
            bytes.fromhex(words[0]).decode('utf-16-be') == CANCEL_TEXT, (how, output)
        try:
            run.wait(timeout=RUN_LIMIT)
        except subprocess.TimeoutExpired:
            raise AssertionError('%s: the run did not end by itself (a box waits?)' % how)
    finally:
        if run.poll() is None:
            run.kill()
    result = harness.Result(run.returncode, harness.read_run_log(log), '')
    assert result.result == 'aborted' and not result.boxes, (how, result)
    assert 'Later' not in [p['name'] for p in result.procs], (how, result)
    after = snapshot(os.path.join(work, 'app'))
    assert after == before, (how, differences(after, before))
    assert not journal_left(types.SimpleNamespace(platform=platform, root=work, extra_env={}),
                            result), how
    print('ok   %s: stopped in %s, undone' % (how, result.procs[-1]['name']))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--program', required=True)
    options = parser.parse_args()
    if shutil.which('Xvfb') is None:
        print('skipped: Xvfb is not installed (package xvfb); the window needs a display')
        sys.exit(SKIPPED)
    platform = wine.WinePlatform()
    platform.prepare(warm_up=False)
    server, display = progress_window.start_display()
    work = tempfile.mkdtemp(prefix='updater-cancel-')
    try:
        progress_window.prepare_prefix(platform, 96)
        shutil.copy2(options.program, os.path.join(work, 'setup.exe'))
        sleeper = os.path.join(work, 'apps', 'sleeper.exe')
        os.makedirs(os.path.dirname(sleeper))
        progress_window.build_helper(platform, 'sleeper', sleeper, windowless=True)
        progress_window.build_helper(platform, 'press_cancel',
                                     os.path.join(work, 'press_cancel.exe'))
        write_script(platform, work, sleeper)
        for how in ('click', 'escape'):
            cancel_one_run(platform, display, work, how)
    finally:
        platform.shutdown()
        server.kill()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
