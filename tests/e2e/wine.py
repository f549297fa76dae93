"""Runs the Windows build of the Updater under Wine for the end-to-end cases.

One Wine prefix in a temporary directory serves the whole run, with one persistent wine server, so
that each case pays only for starting its program. No display is used: the cases answer every
message box through UPDATER_ANSWERS, and a windowless program needs none.

Wine runs 32-bit programs only where the processor can run 32-bit code. Elsewhere the same sources
are built as a 64-bit program (cmake/mingw-x86_64.cmake) and run in a 64-bit prefix.

Command line:
    python3 wine.py --arch                 prints i686 or x86_64
    python3 wine.py --run PROGRAM ARGS...  runs a Windows program in a fresh prefix and exits with
                                           its exit code; arguments that are absolute paths of
                                           existing files are handed over on drive Z:
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

WINE_DIR = '/usr/lib/wine'
APP_PATHS = r'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths'
MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664


def can_run_32bit():
    """True when this machine executes Wine's 32-bit loader."""
    loader = os.path.join(WINE_DIR, 'wine')
    if not os.access(loader, os.X_OK):
        return False
    try:
        return subprocess.run([loader, '--version'], capture_output=True,
                              timeout=30).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def runnable_arch():
    return 'i686' if can_run_32bit() else 'x86_64'


def pe_machine(path):
    """The machine field of a Windows program's header."""
    with open(path, 'rb') as f:
        header = f.read(4096)
    (offset,) = struct.unpack_from('<I', header, 0x3C)
    if header[offset:offset + 4] != b'PE\0\0':
        raise ValueError('%s is not a Windows program' % path)
    (machine,) = struct.unpack_from('<H', header, offset + 4)
    return machine


def quoted_if_needed(argument):
    """How the Linux build joins one argument into its command line."""
    if argument == '' or (' ' in argument and '"' not in argument):
        return '"%s"' % argument
    return argument


class WinePlatform:
    name = 'wine'
    # Settings files are written as UTF-16 with a byte-order mark, which the Windows reader decodes
    # on every system; UTF-8 would be read in the ANSI code page.
    script_encoding = 'utf-16'

    def __init__(self, helpers=None):
        self.arch = runnable_arch()
        # Where the helper programs built with the tests are (sleeper.exe, recorder.exe and
        # holder.exe).
        self.helpers = helpers
        self.prefix = None
        self.launcher = None
        self._environment = {}

    # -- the prefix --------------------------------------------------------------------------

    def prepare(self, warm_up=True):
        self.prefix = tempfile.mkdtemp(prefix='updater-wine-')
        self._environment = {
            'WINEPREFIX': self.prefix,
            'WINEARCH': 'win32' if self.arch == 'i686' else 'win64',
            'WINEDEBUG': '-all',
            # No runtime installers, no menu entries: nothing that would want a network or a
            # desktop.
            'WINEDLLOVERRIDES': 'mscoree,mshtml=;winemenubuilder.exe=d',
        }
        subprocess.run([self._wineserver(), '-p'], env=self._full_env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._wine(['wineboot', '-i'], timeout=300)
        # A crashing program must end with its exit code, not wait in a crash dialog.
        self._wine(['reg', 'add', r'HKCU\Software\Wine\WineDbg', '/v', 'ShowCrashDialog',
                    '/t', 'REG_DWORD', '/d', '0', '/f'])
        self.launcher = self._build_launcher()
        if warm_up:
            self._wine([self.launcher])

    def shutdown(self):
        if self.prefix is None:
            return
        subprocess.run([self._wineserver(), '-k'], env=self._full_env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([self._wineserver(), '-w'], env=self._full_env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix = None

    # -- what the harness asks ---------------------------------------------------------------

    def program_file(self, base):
        return base + '.exe'

    def command(self, program, args, started_as=None):
        """Runs the program through the launcher, which hands it the command line that the
        Linux build would see: the program's quoted name, then the arguments joined alike. The
        program is started under `started_as` when given (a path on a mapped drive)."""
        self._check_program(program)
        name = started_as or self.engine_path(os.path.abspath(program))
        line = ' '.join(['"%s"' % name] +
                        [quoted_if_needed(a) for a in args])
        # Wine's own output goes nowhere: background processes that the program starts (the
        # desktop, services) inherit it and would hold the harness's pipes open after the run.
        return ['env', 'WINE_LAUNCH_COMMAND_LINE=' + line, 'sh', '-c',
                'exec "$0" "$@" </dev/null >/dev/null 2>&1', self._loader(), self.launcher]

    def env(self):
        return dict(self._environment)

    def kill_program(self, process, program):
        """SIGKILL to the Wine process of `program`, begun by `process` (the launcher, in a
        session of its own); before that process is there, to the whole session, so that the
        launcher cannot start it any more. Wine's server ends the killed process's handles."""
        wanted = self.engine_path(os.path.abspath(program)).lower().encode()
        for name in os.listdir('/proc'):
            try:
                if not name.isdigit() or os.getsid(int(name)) != process.pid:
                    continue
                with open('/proc/%s/cmdline' % name, 'rb') as f:
                    if f.read().split(b'\0')[0].lower() == wanted:
                        os.kill(int(name), signal.SIGKILL)
                        return
            except OSError:
                pass  # gone meanwhile
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass  # everything has ended by itself

    def engine_path(self, posix_path):
        """The path as the program sees it: Wine's drive Z: is the Linux root."""
        return 'Z:' + posix_path.replace('/', '\\')

    # The prefix's Windows directory, as GetWindowsDirectory names it.
    windows_directory = 'C:\\windows'

    def register_app(self, sandbox, exe_name, default_value=None, path_value=None):
        """Adds an App Paths key to the prefix's registry, with its default value and its Path
        value when given. The prefix serves every case, so names should be unique."""
        key = APP_PATHS + '\\' + exe_name
        self._wine(['reg', 'add', key, '/f'])
        if default_value is not None:
            self._wine(['reg', 'add', key, '/ve', '/d', default_value, '/f'])
        if path_value is not None:
            self._wine(['reg', 'add', key, '/v', 'Path', '/d', path_value, '/f'])

    def install_helper(self, kind, target):
        """Puts the helper program `kind` ('sleeper', 'recorder' or 'holder') at `target`."""
        if not self.helpers:
            raise RuntimeError('the helper programs were not found: give --helpers')
        shutil.copy2(os.path.join(self.helpers, kind + '.exe'), target)
        return target

    def map_drive(self, letter, directory):
        """Makes `directory` the root of drive `letter` in the prefix."""
        link = os.path.join(self.prefix, 'dosdevices', letter.lower() + ':')
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(directory, link)

    # -- helpers -----------------------------------------------------------------------------

    def _full_env(self):
        environment = dict(os.environ)
        environment.pop('DISPLAY', None)
        environment.pop('WAYLAND_DISPLAY', None)
        environment.update(self._environment)
        return environment

    def _loader(self):
        return os.path.join(WINE_DIR, 'wine' if self.arch == 'i686' else 'wine64')

    def _wineserver(self):
        for name in ('wineserver64', 'wineserver32') if self.arch == 'x86_64' else (
                'wineserver32', 'wineserver64'):
            path = os.path.join(WINE_DIR, name)
            if os.access(path, os.X_OK):
                return path
        return 'wineserver'

    def _wine(self, args, timeout=120, check=True):
        """Runs a Wine tool; returns its exit code and output. The output goes through a file:
        Wine's background processes inherit a pipe and would hold it open after the tool ends."""
        with tempfile.TemporaryFile() as output:
            code = subprocess.run([self._loader()] + args, env=self._full_env(),
                                  stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
            output.seek(0)
            text = output.read().decode(errors='replace')
        if check and code != 0:
            raise RuntimeError('wine %s failed (%d): %s' % (' '.join(args), code, text))
        return code, text

    def _build_launcher(self):
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'wine_launcher.c')
        target = os.path.join(self.prefix, 'launcher.exe')
        compiler = ('i686' if self.arch == 'i686' else 'x86_64') + '-w64-mingw32-gcc'
        subprocess.run([compiler, '-municode', '-O2', '-s', '-o', target, source, '-lole32'],
                       check=True)
        return target

    def _check_program(self, program):
        wanted = MACHINE_I386 if self.arch == 'i686' else MACHINE_AMD64
        if pe_machine(program) != wanted:
            raise RuntimeError(
                'this machine runs %s programs under Wine; build %s with cmake/mingw-%s.cmake'
                % (self.arch, program, self.arch))


def run_program(program, args):
    platform = WinePlatform()
    platform.prepare(warm_up=False)
    try:
        args = [platform.engine_path(a) if os.path.isabs(a) and os.path.exists(a) else a
                for a in args]
        platform._check_program(program)
        return subprocess.run([platform._loader(), program] + args, env=platform._full_env(),
                              stdin=subprocess.DEVNULL).returncode
    finally:
        platform.shutdown()


if __name__ == '__main__':
    if sys.argv[1:] == ['--arch']:
        print(runnable_arch())
    elif len(sys.argv) >= 3 and sys.argv[1] == '--run':
        sys.exit(run_program(sys.argv[2], sys.argv[3:]))
    else:
        sys.exit(__doc__)
