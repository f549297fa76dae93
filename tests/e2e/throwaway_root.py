"""Sandbox cases: the program runs in a throwaway root (root_sandbox.py) instead of beside a
script in a temporary directory.

A case marked @root_sandbox receives a ThrowawayRoot. Each of its runs starts from the same layout:
the program at /opt/tool/bin/setup (on Windows D:\\opt\\tool\\bin\\setup.exe, drive D: being the
throwaway root), its script, the decoys below and the case's own files. The result holds the state
of the whole root before and after the run, so that a case can check that everything it did not
name survived byte for byte.
"""

import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile

import wine

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERVISOR = os.path.join(HERE, 'root_sandbox.py')
UNSHARE = ['unshare', '--mount', '--pid', '--fork', '--kill-child']
PROGRAM_DIR = '/opt/tool/bin'


def root_sandbox(case):
    """Marks a case that may only run in a throwaway root."""
    case.root_sandbox = True
    return case


# -- describing entries ------------------------------------------------------------------------

def file(data, mode=0o644):
    if isinstance(data, str):
        data = data.encode()
    return {'type': 'file', 'data': base64.b64encode(data).decode(), 'mode': mode}


def link(target):
    return {'type': 'link', 'target': target}


def hard_link(target):
    """Another name of the file at `target` (a path of the root, laid out at a lesser depth)."""
    return {'type': 'hardlink', 'target': target}


def char_device(major, minor):
    return {'type': 'chr', 'major': major, 'minor': minor}


DIRECTORY = {'type': 'dir'}
FIFO = {'type': 'fifo'}
SOCKET = {'type': 'socket'}

# What a careless or hostile script could reach: the root, system settings, a user's files, other
# programs, and the program's own neighbours.
DECOYS = {
    '/root.txt': file('a file directly in the root\n'),
    '/etc/shadow': file('root:$6$decoy$0123456789abcdef:19000:0:99999:7:::\n', 0o640),
    '/etc/passwd': file('root:x:0:0:root:/root:/bin/sh\nuser:x:1000:1000::/home/user:/bin/sh\n'),
    '/etc/tool/settings.ini': file('[Tool]\nLevel=3\n'),
    '/home/user/notes.txt': file('notes of the user\n'),
    '/home/user/docs/report.bin': file(bytes(range(256)) * 3),
    '/home/user/empty': DIRECTORY,
    '/opt/other/app.dat': file('another program\n'),
    '/opt/tool/data/readme.txt': file('installed earlier\n'),
    '/var/lib/state.db': file(b'\x00\x01state\xff' * 40),
    '/tmp/keep.txt': file('keep\n'),
}
NATIVE_DECOYS = {
    '/dev/null': char_device(1, 3),
    '/run/pipe': FIFO,
    '/run/socket': SOCKET,
}


# -- results -----------------------------------------------------------------------------------

def _within(path, places):
    return any(path == p or path.startswith(p.rstrip('/') + '/') for p in places)


def _shown(entry):
    if entry is None:
        return 'nothing'
    if entry['type'] == 'file':
        preview = base64.b64decode(entry['preview'])
        return 'file %o of %d bytes %r' % (entry['mode'], entry['size'], preview[:24])
    if entry['type'] == 'link':
        return 'link to %r' % entry['target']
    return entry['type']


class RootResult:
    def __init__(self, report):
        self.exit_code = report['exit_code']
        self.timed_out = report['timed_out']
        self.events = report['events']
        self.stderr = report['stderr']
        self.before = report['before']
        self.after = report['after']

    def of(self, kind):
        return [e for e in self.events if e.get('event') == kind]

    @property
    def texts(self):
        return [b['text'] for b in self.of('box')]

    @property
    def result(self):
        ends = self.of('end')
        return ends[-1]['result'] if ends else None

    def changes(self, allowed=()):
        """(path, before, after) for every entry that differs, outside the allowed places."""
        found = []
        for path in sorted(set(self.before) | set(self.after)):
            if _within(path, allowed):
                continue
            if self.before.get(path) != self.after.get(path):
                found.append((path, self.before.get(path), self.after.get(path)))
        return found

    def assert_untouched(self, *allowed):
        """Everything outside the allowed places is as it was: the same bytes and mode in every
        file, the same target in every link, the same type in every device, pipe and socket, and
        nothing added."""
        changed = self.changes(allowed)
        assert not changed, 'changed outside %s: %s\n%s' % (
            list(allowed) or 'nothing', describe_changes(changed), self.outcome())

    def outcome(self):
        return 'exit %s%s, result %s, boxes %s%s' % (
            self.exit_code, ' (timed out)' if self.timed_out else '', self.result,
            json.dumps(self.texts, ensure_ascii=False),
            ('\nstderr: ' + self.stderr[-1500:]) if self.stderr.strip() else '')

    def __repr__(self):
        return '%s\n%s' % (self.outcome(), describe_changes(self.changes()))


def describe_changes(changed, limit=12):
    if not changed:
        return 'no changes'
    lines = ['%d changes' % len(changed)] + [
        '  %s: %s -> %s' % (p, _shown(b), _shown(a)) for p, b, a in changed[:limit]]
    if len(changed) > limit:
        lines.append('  ...')
    return '\n'.join(lines)


# -- the two sandboxes -------------------------------------------------------------------------

class NoThrowawayRoot(Exception):
    """This machine cannot make a throwaway root; the reason says why."""


def _unshare_refusal():
    if os.geteuid() != 0:
        return 'not root'
    if shutil.which('unshare') is None:
        return 'no unshare command'
    return None


class NativeRoots:
    """One private namespace per run: cheap, and nothing survives from one run to the next."""

    name = 'native'
    top = ''
    program_file = 'setup'
    script_encoding = 'utf-8'

    def __init__(self, program):
        self.program = os.path.abspath(program)
        self.refusal = _unshare_refusal()
        if self.refusal is None:
            report, error = self._supervise('probe', b'', 60)
            if report is None or not report.get('ok'):
                self.refusal = (report or {}).get('reason') or error

    def _supervise(self, mode, data, timeout):
        try:
            completed = subprocess.run(UNSHARE + [sys.executable, SUPERVISOR, mode], input=data,
                                       capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return None, 'the sandbox did not answer in %d s' % timeout
        except OSError as error:
            return None, str(error)
        try:
            return json.loads(completed.stdout), None
        except ValueError:
            return None, 'unshare failed (%d): %s' % (
                completed.returncode, completed.stderr.decode('utf-8', 'replace').strip()[-500:])

    def run(self, case):
        case = dict(case, program=self.program)
        case['env'] = dict(case['env'])
        for name in ('ASAN_OPTIONS', 'UBSAN_OPTIONS', 'LSAN_OPTIONS'):
            if name in os.environ:
                case['env'][name] = os.environ[name]
        report, error = self._supervise('native', json.dumps(case).encode(),
                                        case['timeout'] + 60)
        if report is None or 'exit_code' not in report:
            raise RuntimeError('the throwaway root failed: %s' % (error or report))
        return report

    def close(self):
        pass


class WineRoots:
    """One namespace for the whole run, with a Wine prefix made in it when the first sandbox case
    comes; each run gets a fresh drive D:."""

    name = 'wine'
    top = 'D:'
    program_file = 'setup.exe'
    script_encoding = 'utf-16'

    def __init__(self, program):
        self.program = os.path.abspath(program)
        self.process = None
        self.prefix_directory = None
        self.errors = None
        self.refusal = _unshare_refusal()
        if self.refusal is None:
            try:
                self._start()
            except NoThrowawayRoot as error:
                self.refusal = str(error)
                self.close()

    def _start(self):
        self.prefix_directory = tempfile.mkdtemp(prefix='updater-wine-sandbox-')
        self.errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen(UNSHARE + [sys.executable, SUPERVISOR, 'wine'],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self.errors)
        setup = {'program': self.program, 'prefix_directory': self.prefix_directory,
                 'arch': wine.runnable_arch(),
                 'launcher_source': os.path.join(HERE, 'wine_launcher.c')}
        answer = self._ask(setup, 600)
        if not answer.get('ready'):
            raise NoThrowawayRoot(answer.get('reason') or answer.get('error') or repr(answer))

    def _ask(self, message, timeout):
        try:
            self.process.stdin.write((json.dumps(message) + '\n').encode())
            self.process.stdin.flush()
        except OSError as error:
            raise NoThrowawayRoot('the Wine sandbox ended: %s%s' % (error, self._error_tail()))
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        line = self.process.stdout.readline() if ready else b''
        if not line:
            raise NoThrowawayRoot('the Wine sandbox did not answer%s' % self._error_tail())
        return json.loads(line)

    def _error_tail(self):
        if self.errors is None:
            return ''
        self.errors.seek(0)
        text = self.errors.read().decode('utf-8', 'replace').strip()
        return (': ' + text[-1000:]) if text else ''

    def run(self, case):
        # The program's command line as the Linux build would see it.
        case = dict(case, command_args=[wine.quoted_if_needed(a) for a in case['args']])
        try:
            report = self._ask(case, case['timeout'] + 120)
        except NoThrowawayRoot as error:
            raise RuntimeError(str(error))
        if 'exit_code' not in report:
            raise RuntimeError('the throwaway root failed: %s' % report)
        return report

    def close(self):
        if self.process is not None:
            try:
                self.process.stdin.close()
                self.process.wait(timeout=120)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
            self.process = None
        if self.prefix_directory is not None:
            shutil.rmtree(self.prefix_directory, ignore_errors=True)
            self.prefix_directory = None


def make_roots(platform_name, program):
    return (NativeRoots if platform_name == 'native' else WineRoots)(program)


# -- what a case sees --------------------------------------------------------------------------

class ThrowawayRoot:
    def __init__(self, roots):
        self.roots = roots
        self.platform = roots.name

    @property
    def native(self):
        return self.platform == 'native'

    def epath(self, path):
        """A path of the root ("/etc/x") as a script writes it: "\\etc\\x", or "D:\\etc\\x"."""
        return self.roots.top + path.replace('/', '\\')

    @property
    def src(self):
        return self.epath(PROGRAM_DIR)

    @property
    def top(self):
        """The root as an absolute script path begins with it: "" natively, "D:" on Windows."""
        return self.roots.top

    def run(self, script, files=None, cwd='/home/user', args=(), answers='', env=None,
            timeout=60):
        layout = dict(DECOYS)
        if self.native:
            layout.update(NATIVE_DECOYS)
        layout[PROGRAM_DIR + '/setup.ini'] = file(
            script.replace('\n', '\r\n').encode(self.roots.script_encoding))
        layout.update(files or {})
        case = {'program_at': PROGRAM_DIR + '/' + self.roots.program_file, 'files': layout,
                'cwd': cwd, 'args': list(args), 'timeout': timeout,
                'env': dict(env or {})}
        if answers is not None:
            case['env']['UPDATER_ANSWERS'] = answers
        return RootResult(self.roots.run(case))
