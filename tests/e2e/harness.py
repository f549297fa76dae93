"""Runs the built Updater in temporary directories beside small scripts and reads its run log."""

import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile


def load_messages():
    """The expected message texts, kept once for every kind of test."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support',
                        'expected_messages.txt')
    messages = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            if line.startswith('#') or not line.strip():
                continue
            number, text = line.rstrip('\n').split(' ', 1)
            messages[int(number)] = text.replace('\\n', '\n')
    return messages


MESSAGES = load_messages()

DEFAULT_CAPTION = 'ホルネア アップデータ'
ERROR_STYLE = 16


def message(message_id, *args):
    return MESSAGES[message_id] % args


# The start of most cases' scripts: a caption and the procedures to run.
HEAD = '[UPDATER]\nNAME=Tool\nPROC=%s\n'


def texts(result):
    """The texts of a run's message boxes, in order."""
    return [b['text'] for b in result.boxes]


def flags(result):
    """Each procedure's outcome flag, by name."""
    return {p['name']: p['flag'] for p in result.procs}


# Records how it was started: one JSON line with its working directory (written with
# backslashes, as the program writes paths) and its arguments after its own name.
RECORDER_SCRIPT = r'''#!%s
import json, os, sys
with open(os.environ['UPDATER_TEST_RECORDS'], 'a') as f:
    f.write(json.dumps({'cwd': os.getcwd().replace('/', '\\'), 'args': sys.argv[1:]}) + '\n')
''' % sys.executable


# Where the program keeps its journals when run as root.
STATE_DIRECTORY = '/var/lib/updater'
CLONE_NEWNS = 0x20000


class NativePlatform:
    name = 'native'
    script_encoding = 'utf-8'

    def prepare(self):
        """Run as root, the program would keep its journals in the machine's state directory,
        shared with every other run. This process goes into a mount namespace of its own, which
        the programs it starts inherit, with a fresh tmpfs over that directory."""
        if os.geteuid() != 0:
            return
        import root_sandbox
        try:
            os.makedirs(STATE_DIRECTORY, mode=0o700, exist_ok=True)
            if root_sandbox._libc.unshare(CLONE_NEWNS) != 0:
                raise OSError(ctypes.get_errno(), 'unshare')
            root_sandbox.mount(None, '/', None, root_sandbox.MS_REC | root_sandbox.MS_PRIVATE)
            root_sandbox.mount('updater-e2e-state', STATE_DIRECTORY, 'tmpfs',
                               root_sandbox.MS_NOSUID | root_sandbox.MS_NODEV, 'mode=700')
        except (OSError, root_sandbox.SandboxError) as error:
            print('note: the cases use the machine\'s %s (no private mount: %s)' % (
                STATE_DIRECTORY, error), flush=True)

    def shutdown(self):
        pass

    def program_file(self, base):
        return base

    def command(self, program, args, started_as=None):
        return [started_as or program] + list(args)

    def env(self):
        return {}

    def kill_program(self, process, program):
        process.send_signal(signal.SIGKILL)  # nothing is sent once it has ended by itself

    def engine_path(self, posix_path):
        return posix_path.replace('/', '\\')

    windows_directory = '\\etc'

    def install_helper(self, kind, target):
        """Puts the program `kind` ('sleeper', sleep(1) under its own path, or 'recorder') at
        `target`, without an extension."""
        if kind == 'sleeper':
            shutil.copy2(os.path.realpath(shutil.which('sleep')), target)
        else:
            with open(target, 'w') as f:
                f.write(RECORDER_SCRIPT)
            os.chmod(target, 0o755)
        return target

    def register_app(self, sandbox, exe_name, default_value=None, path_value=None):
        """Adds an App Paths key to the sandbox's registry file."""
        registry = sandbox.path('registry.ini')
        with open(registry, 'a', encoding='utf-8') as f:
            f.write('[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s]\n' % exe_name)
            if default_value is not None:
                f.write('@=%s\n' % default_value)
            if path_value is not None:
                f.write('PATH=%s\n' % path_value)
        sandbox.extra_env['UPDATER_REGISTRY'] = registry


class Result:
    def __init__(self, exit_code, events, stderr):
        self.exit_code = exit_code
        self.events = events
        self.stderr = stderr

    def of(self, kind):
        return [e for e in self.events if e.get('event') == kind]

    @property
    def boxes(self):
        return self.of('box')

    @property
    def procs(self):
        return self.of('proc')

    @property
    def start(self):
        starts = self.of('start')
        return starts[0] if starts else None

    @property
    def result(self):
        ends = self.of('end')
        return ends[-1]['result'] if ends else None

    def proc(self, name):
        return [p for p in self.procs if p['name'] == name]

    def __repr__(self):
        return 'exit %s, events %s, stderr %r' % (
            self.exit_code, json.dumps(self.events, ensure_ascii=False, indent=1), self.stderr)


class Sandbox:
    """A temporary directory holding a copy of the program and its script."""

    def __init__(self, platform, program, base='setup'):
        self.platform = platform
        self.root = tempfile.mkdtemp(prefix='updater-e2e-')
        self.program = os.path.join(self.root, platform.program_file(base))
        shutil.copy2(program, self.program)
        self.settings = os.path.splitext(self.program)[0] + '.ini'
        self.log = os.path.join(self.root, 'run.log')
        self.records_file = os.path.join(self.root, 'records.jsonl')
        self.extra_env = {'UPDATER_TEST_RECORDS': self.records_file}

    def close(self):
        self.end_programs()
        for dirpath, dirnames, filenames in os.walk(self.root):
            for name in dirnames + filenames:
                try:
                    os.chmod(os.path.join(dirpath, name), 0o755)
                except OSError:
                    pass
        shutil.rmtree(self.root, ignore_errors=True)

    def end_programs(self):
        """Ends every process that runs a program of this directory, as its path or its command
        line shows, however the case ended."""
        marks = [self.root + os.sep, self.platform.engine_path(self.root).lower() + '\\']
        for name in os.listdir('/proc'):
            if not name.isdigit() or int(name) == os.getpid():
                continue
            try:
                with open('/proc/%s/cmdline' % name, 'rb') as f:
                    line = f.read().decode(errors='replace').replace('\0', ' ')
                try:
                    line += ' ' + os.readlink('/proc/%s/exe' % name)
                except OSError:
                    pass
                if marks[0] in line or marks[1] in line.lower():
                    os.kill(int(name), signal.SIGKILL)
            except OSError:
                pass

    def helper(self, kind, relative, name=None):
        """Installs the helper program `kind` in the directory `relative` of the sandbox, under
        `name` (the kind by default; the platform adds its extension); returns the program's path
        as the Updater writes it."""
        directory = self.path(relative)
        os.makedirs(directory, exist_ok=True)
        target = os.path.join(directory, self.platform.program_file(name or kind))
        self.platform.install_helper(kind, target)
        return self.platform.engine_path(target)

    def records(self):
        """What the recorder programs wrote, in order: (working directory, arguments) pairs."""
        if not os.path.exists(self.records_file):
            return []
        with open(self.records_file, encoding='utf-8') as f:
            return [(r['cwd'], r['args']) for r in map(json.loads, f) if r]

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def epath(self, *parts):
        """The path as the program itself writes it."""
        return self.platform.engine_path(self.path(*parts))

    @property
    def src(self):
        return self.platform.engine_path(self.root)

    def write(self, relative, content='', mode='w'):
        target = self.path(relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, mode) as f:
            f.write(content)
        return target

    def script(self, text, encoding=None):
        """Writes the script in the encoding the platform reads Unicode scripts in."""
        with open(self.settings, 'w', encoding=encoding or self.platform.script_encoding,
                  newline='') as f:
            f.write(text.replace('\n', '\r\n'))

    def environment(self, answers='', env=None):
        environment = dict(os.environ)
        environment.pop('DISPLAY', None)
        environment.pop('WAYLAND_DISPLAY', None)
        environment.update(self.platform.env())
        if answers is not None:
            environment['UPDATER_ANSWERS'] = answers
        environment['UPDATER_LOG'] = self.log
        environment.update(self.extra_env)
        environment.update(env or {})
        return environment

    def start(self, args=(), answers=''):
        """Starts the program unattended without waiting for it, in a session of its own; its
        output is dropped."""
        return subprocess.Popen(self.platform.command(self.program, args),
                                env=self.environment(answers), cwd=self.root,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)

    def kill(self, process):
        """Kills a program begun with start() with SIGKILL, which leaves it no moment to tidy up,
        and waits for it."""
        self.platform.kill_program(process, self.program)
        process.wait()

    def run(self, args=(), answers='', env=None, timeout=120, started_as=None):
        environment = self.environment(answers, env)
        if os.path.exists(self.log):
            os.remove(self.log)
        # Output goes through files: programs the Updater starts share its standard handles and
        # may outlive it, and would hold a pipe open.
        with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
            completed = subprocess.run(
                self.platform.command(self.program, args, started_as), env=environment,
                cwd=self.root, stdin=subprocess.DEVNULL, stdout=output, stderr=errors,
                timeout=timeout)
            errors.seek(0)
            stderr = errors.read().decode('utf-8', 'replace')
        return Result(completed.returncode, self.read_log(), stderr)

    def run_while_held(self, path, **options):
        """Runs the program while another process holds `path` open."""
        holder = subprocess.Popen([sys.executable, '-c',
                                   'import sys,time; f=open(sys.argv[1]); print(1, flush=True); '
                                   'time.sleep(30)', path], stdout=subprocess.PIPE)
        try:
            holder.stdout.readline()
            return self.run(**options)
        finally:
            holder.kill()
            holder.wait()

    def read_log(self):
        return read_run_log(self.log)


def read_run_log(path):
    """The records of a run log, none when the run wrote none."""
    if not os.path.exists(path):
        return []
    with open(path, encoding='utf-8') as f:
        return [json.loads(line) for line in f if line.strip()]


class Skipped(Exception):
    """Raised by a case that this machine cannot run; the message says why."""


def only(*platforms):
    """Marks a case that only makes sense on the named platforms."""
    def mark(case):
        case.platforms = platforms
        return case
    return mark
