"""A run killed at any moment of a COPY or a MOVE loses nothing: each destination file is absent,
whole, or (where one is replaced) still the old one; a moved file is whole at one end at least;
only temporaries named as the program names them, with the killed run's process id, are left
beside; and the same script run again finishes the job and takes those temporaries away.

The kill times are drawn uniformly over the length of one uninterrupted run, measured first. The
figures are printed, never asserted: how many kills landed mid-run, and how many files each kill
found complete, old or absent. UPDATER_E2E_SEED repeats a run's draws and contents."""

import os
import random
import re
import shutil
import signal
import tempfile
import time

from harness import HEAD, Skipped, only

KILLS = 20
BIG_FILES = {'big/setup.bin': 24 << 20, 'big/data/archive.pak': 16 << 20, 'main.dat': 10 << 20}
SMALL_DIRECTORIES = ('', 'lib', 'lib/plugins', 'data', 'data/text')
SMALL_FILES = 100
# How the program names its temporaries: the process id, then a serial in hexadecimal.
TEMPORARY = re.compile(r'^\.~updater-([1-9][0-9]*)-(?:0|[1-9a-f][0-9a-f]*)\.tmp$')
OWN_FILE = 'readme-local.txt'  # the destination's own file, which no run may touch


class Files:
    """The source tree's contents and the destination's old ones, by relative path."""

    def __init__(self, rng):
        self.new = {path: rng.randbytes(size) for path, size in BIG_FILES.items()}
        for n in range(SMALL_FILES):
            directory = SMALL_DIRECTORIES[n % len(SMALL_DIRECTORIES)]
            path = os.path.join(directory, 'file%03d.txt' % n)
            self.new[path] = rng.randbytes(rng.randrange(0, 20000))
        # Some destination files are there already and are replaced: the largest, and a third
        # of the small ones, each with other contents of another size.
        replaced = ['big/setup.bin'] + sorted(p for p in self.new if p.endswith('.txt'))[::3]
        self.old = {path: rng.randbytes(len(self.new[path]) // 2 + 7) for path in replaced}
        self.old[OWN_FILE] = b'kept by its owner\n'


def write_tree(top, contents):
    for path, data in contents.items():
        target = os.path.join(top, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, 'wb') as f:
            f.write(data)


def reset(top, contents):
    shutil.rmtree(top, ignore_errors=True)
    write_tree(top, contents)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def entries(top):
    """Every file below `top` by relative path."""
    return [os.path.relpath(os.path.join(dirpath, name), top)
            for dirpath, _, filenames in os.walk(top) for name in filenames]


class Tally:
    def __init__(self, mode, length):
        self.mode = mode
        self.length = length
        self.kills = self.mid_run = self.temporaries = 0
        self.files = {'complete': 0, 'old': 0, 'absent': 0}
        self.faults = []

    def report(self):
        print('    killed %s runs of %.3f s: %d kills, %d mid-run; destination files found %d '
              'complete, %d old, %d absent; %d temporaries left' % (
                  self.mode, self.length, self.kills, self.mid_run, self.files['complete'],
                  self.files['old'], self.files['absent'], self.temporaries), flush=True)


def check_killed(files, destination, source, pid, tally, when):
    """What one kill left: `source` is the MOVE's source tree, None for a COPY."""
    def fault(text):
        tally.faults.append('%s: %s' % (when, text))

    present = set()
    for path in entries(destination):
        match = TEMPORARY.match(os.path.basename(path))
        if match:
            tally.temporaries += 1
            if int(match.group(1)) != pid:
                fault('temporary %s is not of the killed process %d' % (path, pid))
            continue
        present.add(path)
        data = read(os.path.join(destination, path))
        if data == files.new.get(path):
            tally.files['complete'] += 1
        elif data == files.old.get(path):
            tally.files['old'] += path != OWN_FILE
        else:
            fault('%s partly written (%d bytes)' % (path, len(data)))
    for path in files.old:
        if path not in present:
            fault('%s lost its old contents' % path)
    for path in files.new:
        if path not in present:
            tally.files['absent'] += 1
    if source is None:
        return
    at_source = set(entries(source)) if os.path.isdir(source) else set()
    for path in at_source - set(files.new):
        fault('unexpected %s at the source' % path)
    for path in files.new:
        if path in at_source:
            if read(os.path.join(source, path)) != files.new[path]:
                fault('source %s cut' % path)
        elif path not in present or read(os.path.join(destination, path)) != files.new[path]:
            fault('%s whole neither at the source nor at the destination' % path)


def check_finished(files, destination, source, result, source_was_there, tally, when):
    def fault(text):
        tally.faults.append('%s, run again: %s' % (when, text))

    if source_was_there and result.exit_code != 0:
        fault('exit %s, boxes %r' % (result.exit_code, [b['text'] for b in result.boxes]))
    expected = dict(files.new)
    expected[OWN_FILE] = files.old[OWN_FILE]
    found = entries(destination)
    left = [p for p in found if os.path.basename(p).startswith('.~updater-')]
    if left:
        fault('temporaries left: %s' % left)
    if sorted(set(found) - set(left)) != sorted(expected):
        fault('destination holds %s' % sorted(set(found) ^ set(expected)))
    for path in set(found) & set(expected):
        if read(os.path.join(destination, path)) != expected[path]:
            fault('%s differs from its source' % path)
    if source is not None and os.path.exists(source):
        fault('the source is still there: %s' % entries(source))


def timed_run(sb):
    started = time.monotonic()
    process = sb.start()
    process.wait()
    return time.monotonic() - started, process.returncode


def killed_runs(sb, mode, source, destination, files, rng):
    """Times one whole run, then kills KILLS runs at random moments of it, each followed by a
    complete run of the same script."""
    sb.script(HEAD % 'T' + '[T]\nMODE=%s\nFROM=%s\nTO=%s\n' % (
        mode, sb.platform.engine_path(source), sb.platform.engine_path(destination)))
    moving = mode == 'MOVE'

    def lay_out():
        if moving:
            reset(source, files.new)
        reset(destination, files.old)

    # The first run warms the caches; the second gives the length.
    for _ in range(2):
        lay_out()
        length, code = timed_run(sb)
        assert code == 0, 'the uninterrupted %s exited %s' % (mode, code)
    tally = Tally(mode, length)
    for kill in range(KILLS):
        lay_out()
        delay = rng.uniform(0, length)
        when = '%s kill %d at %.3f s of %.3f s' % (mode, kill + 1, delay, length)
        process = sb.start()
        time.sleep(delay)
        process.send_signal(signal.SIGKILL)  # nothing is sent once it has ended by itself
        process.wait()
        tally.kills += 1
        tally.mid_run += process.returncode == -signal.SIGKILL
        check_killed(files, destination, source if moving else None, process.pid, tally, when)
        source_was_there = os.path.isdir(source)
        result = sb.run()
        check_finished(files, destination, source if moving else None, result,
                       source_was_there, tally, when)
    tally.report()
    assert not tally.faults, '%d faults:\n%s' % (len(tally.faults), '\n'.join(tally.faults[:20]))


def seeded():
    seed = int(os.environ.get('UPDATER_E2E_SEED') or random.randrange(1 << 32))
    print('    seed %d' % seed, flush=True)
    return random.Random(seed)


@only('native')
def case_killed_copy_loses_nothing_and_runs_again_to_the_end(sb):
    rng = seeded()
    files = Files(rng)
    source = sb.path('source')
    write_tree(source, files.new)
    killed_runs(sb, 'COPY', source, sb.path('installed'), files, rng)


# A MOVE to another file system copies each file and removes the source after: the case needs
# a second file system, /dev/shm beside the temporary directory.
@only('native')
def case_killed_move_across_file_systems_loses_nothing_and_runs_again_to_the_end(sb):
    if not os.path.isdir('/dev/shm') or os.stat('/dev/shm').st_dev == os.stat(sb.root).st_dev:
        raise Skipped('no second file system: /dev/shm is missing or on the same one as %s' %
                      sb.root)
    other = tempfile.mkdtemp(prefix='updater-e2e-', dir='/dev/shm')
    try:
        rng = seeded()
        killed_runs(sb, 'MOVE', os.path.join(other, 'source'), sb.path('installed'), Files(rng),
                    rng)
    finally:
        shutil.rmtree(other, ignore_errors=True)
