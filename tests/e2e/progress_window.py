#!/usr/bin/env python3
"""Shows the progress window of the Windows build under Wine on a virtual display, and keeps
pictures of it.

The Updater runs attended (no UPDATER_ANSWERS) with PROGRESS=1 on an Xvfb display: it copies a tree
of large files, then waits for a program (the sleeper helper, built without a console) to end. Once the window appears for
the copy, and again for the wait, it is taken with xwd and written as a PNG; the run must then end
by itself with the copy complete and no window left. Prints the paths of the pictures.

Usage: progress_window.py --program PATH/updater.exe --output DIR [--dpi N]
--dpi sets the display's scale (96 by default); other scales add "-Ndpi" to the pictures' names.
Needs Xvfb, xwininfo, xwd, ImageMagick's convert and a Japanese font (fonts-ipafont-gothic)
besides Wine.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import wine

CAPTION = 'Progress Window Test'
# Files of some size, so that the bar moves with the bytes and the name shown changes; in a
# directory deep enough that the path is shortened in its middle. They are sparse: reading them
# costs little, and the copy still writes every byte.
FILES = 32
FILE_SIZE = 32 << 20
WAIT_SECONDS = 6
DEEP = os.path.join('Program Files', 'Example Corporation', 'Example Application Suite',
                    'Version 12.4', 'Shared Components', 'Data')
# The window must appear within this, and the run end within the second; neither is a measure of
# speed, only a bound on a run that went wrong.
APPEAR_LIMIT = 120
WINDOW_POLL = 0.05
RUN_LIMIT = 600
CONVERT = '/usr/bin/convert'
FONT_LINKS = r'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
JAPANESE_FONT = 'ipagp.ttf,IPAPGothic'


def start_display():
    """An Xvfb display of its own; returns the process and the display name."""
    for number in range(90, 190):
        if not os.path.exists('/tmp/.X11-unix/X%d' % number) and \
                not os.path.exists('/tmp/.X%d-lock' % number):
            break
    else:
        raise RuntimeError('no free display number')
    server = subprocess.Popen(['Xvfb', ':%d' % number, '-screen', '0', '1024x768x24',
                               '-nolisten', 'tcp'],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(300):
        if os.path.exists('/tmp/.X11-unix/X%d' % number):
            return server, ':%d' % number
        if server.poll() is not None:
            break
        time.sleep(0.1)
    server.kill()
    raise RuntimeError('Xvfb did not start')


def find_window(display):
    """The id and geometry (x, y, width, height) of the mapped window with the test's caption."""
    listing = subprocess.run(['xwininfo', '-root', '-tree', '-display', display],
                             capture_output=True, text=True, errors='replace').stdout
    for line in listing.splitlines():
        if '"%s"' % CAPTION not in line:
            continue
        match = re.search(r'(0x[0-9a-f]+) .*\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)',
                          line)
        if not match:
            continue
        window = match.group(1)
        state = subprocess.run(['xwininfo', '-id', window, '-display', display],
                               capture_output=True, text=True).stdout
        if 'IsViewable' in state:
            width, height = int(match.group(2)), int(match.group(3))
            x, y = int(match.group(6)), int(match.group(7))
            return window, (x, y, width, height)
    return None


def write_script(directory, source, target, sleeper):
    text = ('[UPDATER]\nNAME=%s\nPROC=Copy,Wait\nPROGRESS=1\n'
            '[Copy]\nMODE=COPY\nFROM=%s\nTO=%s\n'
            '[Wait]\nMODE=LAUNCH\nFILE=%s\nPARAM=%d\nISWAIT=1\n'
            % (CAPTION, source, target, sleeper, WAIT_SECONDS))
    with open(os.path.join(directory, 'setup.ini'), 'w', encoding='utf-16', newline='') as f:
        f.write(text.replace('\n', '\r\n'))


def make_source(directory):
    deep = os.path.join(directory, DEEP)
    os.makedirs(deep)
    for i in range(FILES):
        with open(os.path.join(deep, 'component-%02d.pak' % i), 'wb') as f:
            f.truncate(FILE_SIZE)


def picture(display, geometry, output):
    """The window with a margin around it, as PNG."""
    x, y, width, height = geometry
    margin = 16
    shot = subprocess.run(['xwd', '-root', '-silent', '-display', display],
                          capture_output=True, check=True).stdout
    crop = '%dx%d+%d+%d' % (width + 2 * margin, height + 2 * margin, max(0, x - margin),
                            max(0, y - margin))
    subprocess.run([CONVERT, 'xwd:-', '-crop', crop, '+repage', 'png:' + output],
                   input=shot, check=True)


def await_window(display, run, present):
    """Waits until the window is there (`present`) or gone; returns its geometry when there."""
    deadline = time.time() + APPEAR_LIMIT
    while time.time() < deadline:
        found = find_window(display)
        if (found is not None) == present:
            return found and found[1]
        if run.poll() is not None:
            raise AssertionError('the run ended (%d) before the window was %s'
                                 % (run.returncode, 'there' if present else 'gone'))
        time.sleep(WINDOW_POLL)
    raise AssertionError('the window was not %s in time' % ('there' if present else 'gone'))


def build_helper(platform, name, target, windowless=False):
    """Compiles helpers/<name>-win32.cpp for the prefix's architecture; `windowless` makes a
    program without a console, whose console window would cover the progress window."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'helpers',
                          name + '-win32.cpp')
    compiler = ('i686' if platform.arch == 'i686' else 'x86_64') + '-w64-mingw32-g++'
    subprocess.run([compiler, '-municode'] + (['-mwindows'] if windowless else []) +
                   ['-O2', '-s', '-static', '-o', target, source], check=True)


def prepare_prefix(platform, dpi):
    # Without a window manager, Wine draws the caption and frame itself.
    platform._wine(['reg', 'add', r'HKCU\Software\Wine\X11 Driver', '/v', 'Decorated',
                    '/d', 'N', '/f'])
    # Wine's dialog font has no Japanese; a font of the system is linked to it, as Windows
    # links its own fonts.
    platform._wine(['reg', 'add', FONT_LINKS, '/v', 'Tahoma', '/t', 'REG_MULTI_SZ',
                    '/d', JAPANESE_FONT, '/f'])
    # The scale of the display, as a user sets it; the window follows it.
    for key in (r'HKCU\Control Panel\Desktop',
                r'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'):
        platform._wine(['reg', 'add', key, '/v', 'LogPixels', '/t', 'REG_DWORD', '/d', str(dpi),
                        '/f'])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--program', required=True)
    parser.add_argument('--output', required=True)
    parser.add_argument('--dpi', type=int, default=96)
    options = parser.parse_args()
    output = os.path.abspath(options.output)
    os.makedirs(output, exist_ok=True)
    suffix = '' if options.dpi == 96 else '-%ddpi' % options.dpi
    pictures = [os.path.join(output, name + suffix + '.png') for name in ('progress', 'progress-wait')]
    for path in pictures:
        if os.path.exists(path):
            os.remove(path)

    platform = wine.WinePlatform()
    platform.prepare(warm_up=False)
    server, display = start_display()
    work = tempfile.mkdtemp(prefix='updater-progress-')
    run = None
    try:
        prepare_prefix(platform, options.dpi)
        program = os.path.join(work, 'setup.exe')
        shutil.copy2(options.program, program)
        sleeper = os.path.join(work, 'apps', 'sleeper.exe')
        os.makedirs(os.path.dirname(sleeper))
        build_helper(platform, 'sleeper', sleeper, windowless=True)
        make_source(os.path.join(work, 'source'))
        write_script(work, platform.engine_path(os.path.join(work, 'source')),
                     platform.engine_path(os.path.join(work, 'target')),
                     platform.engine_path(sleeper))
        environment = platform._full_env()
        environment['DISPLAY'] = display
        run = subprocess.Popen([platform._loader(), program], env=environment, cwd=work,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        # The copy: taken at once, while the bar is on its way.
        picture(display, await_window(display, run, True), pictures[0])
        await_window(display, run, False)
        # The wait: its bar moves without a total.
        await_window(display, run, True)
        time.sleep(1)
        picture(display, await_window(display, run, True), pictures[1])
        if run.wait(timeout=RUN_LIMIT) != 0:
            raise AssertionError('the run failed with %d' % run.returncode)
        if find_window(display) is not None:
            raise AssertionError('the progress window is still there after the run')
        copied = os.path.join(work, 'target', DEEP)
        if sorted(os.path.getsize(os.path.join(copied, name))
                  for name in os.listdir(copied)) != [FILE_SIZE] * FILES:
            raise AssertionError('the copy is incomplete')
        for path in pictures:
            print(path)
    finally:
        if run is not None and run.poll() is None:
            run.kill()
        platform.shutdown()
        server.kill()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
