"""Runs the Updater in a throwaway root: a tmpfs that is the whole file system the program sees.

Cases that hand the program a root, a device or ".." past the top would wipe the machine if the
program regressed. They run only here, in a private mount namespace and PID namespace (started
with `unshare --mount --pid --fork --kill-child`), after this process has turned a fresh tmpfs
into the namespace's root with pivot_root and detached everything else:

- native: the root holds the case's files, the program and the shared libraries it loads, and a
  read-only /proc that shows only this namespace's processes (the program reads /proc/self/exe;
  a /proc of the host would lead back to the host's root through /proc/PID/root).
- wine: the root also holds read-only views of the host's /usr and /etc (Wine itself), a private
  /dev of harmless nodes and the run's own Wine prefix (in a directory that the runner made for
  it). The prefix has no drive but C: (its own drive_c) and D:, a fresh directory of the tmpfs
  per case, and no link in it leads out, which is checked before every case. So neither a drive
  letter nor Wine's "\\\\?\\unix\\" paths reach anything of the host that could be written.

Before the program starts, the mount table is checked: the tmpfs (and the Wine prefix) is the only
writable mount. If anything cannot be made so, the program is not run and the reason is reported.

Modes:
    root_sandbox.py probe     makes the root and reports {"ok": true} or {"ok": false, "reason"}
    root_sandbox.py native    reads one case (JSON) on standard input, runs it, prints the result
    root_sandbox.py wine      reads the set-up (JSON line), prepares the prefix, prints
                              {"ready": true}, then answers one JSON line per case line

A case: {"program": host path, "program_at": path in the root, "files": {path: entry},
"cwd": path, "args": [...], "env": {...}, "timeout": seconds}. An entry is
{"type": "file", "data": base64, "mode": int} | {"type": "dir"} | {"type": "link", "target": text}
| {"type": "hardlink", "target": path of an entry laid out before it}
| {"type": "chr", "major": n, "minor": n} | {"type": "fifo"} | {"type": "socket"}.

A result: {"exit_code", "timed_out", "events" (the run log), "stderr", "before", "after"}; before
and after map every path of the root (wine: of drive D:) to what is there.
"""

# Everything is imported before the host's file system goes away: nothing can be loaded later.
import base64
import ctypes
import ctypes.util
import hashlib
import json
import os
import platform
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile

MS_RDONLY = 0x1
MS_NOSUID = 0x2
MS_NODEV = 0x4
MS_NOEXEC = 0x8
MS_REMOUNT = 0x20
MS_BIND = 0x1000
MS_REC = 0x4000
MS_PRIVATE = 0x40000
MNT_DETACH = 0x2
SYS_PIVOT_ROOT = {'x86_64': 155, 'aarch64': 41, 'i686': 217, 'i386': 217}

TMPFS_SOURCE = 'updater-throwaway-root'
TMPFS_OPTIONS = 'size=256m,nr_inodes=65536,mode=755'
ROOT_MOUNT_POINT = '/tmp'
NATIVE_LOG = '/var/log/updater.log'
# The prefix is too big for memory (Wine copies its DLLs into it): it lives in a directory on disk
# that the runner makes for the run and removes after it.
WINE_TOP = '/wine'
WINE_PREFIX = '/wine/prefix'
WINE_HOME = '/home/wine'
WINE_DRIVES = '/drives'
WINE_LOG = '/wine/prefix/drive_c/updater/run.log'
WINE_DIR = '/usr/lib/wine'
# What a Windows program may see of the host: Wine and what it loads, all read-only.
WINE_HOST_DIRS = ('usr', 'etc')
WINE_HOST_TOP_ENTRIES = ('bin', 'sbin', 'lib', 'lib32', 'lib64', 'libx32')
SMALL_FILE = 256

_libc = ctypes.CDLL(ctypes.util.find_library('c') or 'libc.so.6', use_errno=True)


class SandboxError(Exception):
    pass


def _check(result, what):
    if result != 0:
        code = ctypes.get_errno()
        raise SandboxError('%s: %s' % (what, os.strerror(code)))


def mount(source, target, fstype, flags, data=None):
    _check(_libc.mount(source and source.encode(), target.encode(), fstype and fstype.encode(),
                       ctypes.c_ulong(flags), data and data.encode()),
           'mount %s on %s' % (fstype or source, target))


def pivot_into(root):
    """Makes `root` the namespace's root and detaches the old one, so that no path leads back."""
    number = SYS_PIVOT_ROOT.get(platform.machine())
    if number is None:
        raise SandboxError('pivot_root: unknown machine %s' % platform.machine())
    os.chdir(root)
    _check(_libc.syscall(number, b'.', b'.'), 'pivot_root')
    _check(_libc.umount2(b'.', MNT_DETACH), 'detach the old root')
    os.chdir('/')


def mounts():
    """(mount point, file system type, source, read-only) for every mount this process sees."""
    found = []
    with open('/proc/self/mountinfo') as f:
        for line in f:
            fields = line.split()
            separator = fields.index('-')
            options = fields[5].split(',')
            found.append((fields[4].replace('\\040', ' '), fields[separator + 1],
                          fields[separator + 2], 'ro' in options))
    return found


def verify_contained(read_only_allowed, writable=()):
    """Refuses to go on unless "/" is the throwaway tmpfs and the only other writable mounts are
    the given throwaway directories."""
    seen_root = False
    for point, fstype, source, read_only in mounts():
        if point in writable:
            continue
        if point == '/':
            if fstype != 'tmpfs' or source != TMPFS_SOURCE or read_only:
                raise SandboxError('the root is %s from %s, not the throwaway tmpfs' % (
                    fstype, source))
            seen_root = True
        elif point == '/proc':
            if fstype != 'proc' or not read_only:
                raise SandboxError('/proc is %s, %s' % (fstype, 'ro' if read_only else 'rw'))
        elif not (read_only and read_only_allowed):
            raise SandboxError('unexpected mount %s (%s, %s)' % (
                point, fstype, 'ro' if read_only else 'rw'))
    if not seen_root:
        raise SandboxError('no root mount seen')
    if os.path.exists('/proc/1/root') and os.readlink('/proc/1/root') != '/':
        raise SandboxError('process 1 sees another root')


def make_root():
    """A fresh tmpfs, mounted only in this namespace (nothing propagates to the host). It covers
    /tmp there, which every system has, so that no mount point is left behind on the host."""
    mount(None, '/', None, MS_REC | MS_PRIVATE)
    mount(TMPFS_SOURCE, ROOT_MOUNT_POINT, 'tmpfs', MS_NOSUID, TMPFS_OPTIONS)
    # Made first, so that a walk of the root (which lists the newest entries first on tmpfs)
    # meets the read-only /proc last, after the case's files.
    os.mkdir(os.path.join(ROOT_MOUNT_POINT, 'proc'))
    return ROOT_MOUNT_POINT


def mount_proc(root):
    mount('proc', os.path.join(root, 'proc'), 'proc', MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC)


def bind_read_only(source, target):
    os.makedirs(target, exist_ok=True)
    mount(source, target, None, MS_BIND | MS_REC)
    # A recursive bind brings the mounts below along; each is made read-only on its own.
    for point, _, _, read_only in mounts():
        if (point == target or point.startswith(target + '/')) and not read_only:
            mount(None, point, None, MS_REMOUNT | MS_BIND | MS_RDONLY)


# -- laying out and reading back --------------------------------------------------------------

def inside(root, path):
    return os.path.join(root, path.lstrip('/'))


def lay_out(root, files):
    """Creates the entries in order of their paths, parents first."""
    for path in sorted(files, key=lambda p: (p.count('/'), p)):
        entry = files[path]
        target = inside(root, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        kind = entry['type']
        if kind == 'dir':
            os.makedirs(target, exist_ok=True)
        elif kind == 'file':
            with open(target, 'wb') as f:
                f.write(base64.b64decode(entry['data']))
            os.chmod(target, entry.get('mode', 0o644))
        elif kind == 'link':
            os.symlink(entry['target'], target)
        elif kind == 'hardlink':
            os.link(inside(root, entry['target']), target)
        elif kind == 'chr':
            os.mknod(target, 0o666 | stat.S_IFCHR, os.makedev(entry['major'], entry['minor']))
        elif kind == 'fifo':
            os.mkfifo(target, 0o644)
        elif kind == 'socket':
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(target)
            listener.close()
        else:
            raise SandboxError('unknown entry type %r for %s' % (kind, path))


def extended_attributes(path):
    try:
        names = os.listxattr(path, follow_symlinks=False)
    except OSError:
        return {}
    found = {}
    for name in names:
        try:
            found[name] = base64.b64encode(
                os.getxattr(path, name, follow_symlinks=False)).decode()
        except OSError:
            pass
    return found


def describe(path):
    info = os.lstat(path)
    mode = info.st_mode
    if stat.S_ISLNK(mode):
        return {'type': 'link', 'target': os.readlink(path)}
    if stat.S_ISDIR(mode):
        entry = {'type': 'dir', 'mode': stat.S_IMODE(mode)}
    elif stat.S_ISREG(mode):
        digest = hashlib.sha256()
        preview = b''
        with open(path, 'rb') as f:
            while True:
                block = f.read(1 << 16)
                if not block:
                    break
                if len(preview) < SMALL_FILE:
                    preview += block[:SMALL_FILE - len(preview)]
                digest.update(block)
        entry = {'type': 'file', 'size': info.st_size, 'sha256': digest.hexdigest(),
                 'mode': stat.S_IMODE(mode), 'preview': base64.b64encode(preview).decode()}
    elif stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        return {'type': 'chr' if stat.S_ISCHR(mode) else 'blk',
                'major': os.major(info.st_rdev), 'minor': os.minor(info.st_rdev)}
    elif stat.S_ISFIFO(mode):
        return {'type': 'fifo'}
    elif stat.S_ISSOCK(mode):
        return {'type': 'socket'}
    else:
        return {'type': 'other'}
    # Hidden, system and archive live here on Linux.
    attributes = extended_attributes(path)
    if attributes:
        entry['xattrs'] = attributes
    return entry


def snapshot(top, skip=()):
    """Every entry below `top` by its path from `top` ("/etc/x"); links are not followed."""
    found = {'/': describe(top)}
    for dirpath, dirnames, filenames in os.walk(top):
        relative = os.path.relpath(dirpath, top)
        for name in sorted(dirnames + filenames):
            path = ('' if relative == '.' else '/' + relative) + '/' + name
            if path in skip:
                if name in dirnames:
                    dirnames.remove(name)
                continue
            try:
                found[path] = describe(os.path.join(dirpath, name))
            except OSError as error:
                found[path] = {'type': 'unreadable', 'error': error.strerror}
    return found


def read_log(path, held):
    """The run log, also when the program deleted it (from the descriptor held since before the
    run) or replaced it (from the new file at its path)."""
    held.seek(0)
    data = held.read()
    try:
        if os.stat(path).st_ino != os.fstat(held.fileno()).st_ino:
            with open(path, 'rb') as f:
                data += f.read()
    except OSError:
        pass
    events = []
    for line in data.decode('utf-8', 'replace').splitlines():
        if line.strip():
            try:
                events.append(json.loads(line))
            except ValueError:
                events.append({'event': 'unreadable', 'line': line})
    return events


def run_process(command, cwd, env, timeout, on_timeout=None):
    """Runs a command to its end or its time-out; returns (exit code, timed out, stderr). The
    output goes to an anonymous file, not a pipe: background processes that the command leaves
    (Wine's server) would hold a pipe open long after it ended."""
    output = os.memfd_create('stderr')
    try:
        process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=output,
                                   start_new_session=True)
        timed_out = False
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            timed_out = True
            if on_timeout:
                on_timeout()
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        os.lseek(output, 0, os.SEEK_SET)
        chunks = []
        while True:
            chunk = os.read(output, 1 << 16)
            if not chunk:
                break
            chunks.append(chunk)
    finally:
        os.close(output)
    return process.returncode, timed_out, b''.join(chunks).decode('utf-8', 'replace')[-20000:]


def host_libraries(program):
    """The shared libraries that the program loads, with the dynamic loader, as ldd lists them."""
    listed = subprocess.run(['ldd', program], capture_output=True, text=True)
    if listed.returncode != 0:
        if 'not a dynamic executable' in listed.stdout + listed.stderr:
            return []
        raise SandboxError('ldd %s: %s' % (program, listed.stderr.strip()))
    found = []
    for line in listed.stdout.splitlines():
        words = line.split()
        if '=>' in words:
            where = words[words.index('=>') + 1]
            if where.startswith('/'):
                found.append(where)
            elif where == 'not':
                raise SandboxError('%s: %s' % (program, line.strip()))
        elif words and words[0].startswith('/'):
            found.append(words[0])
    return found


def read_host_files(program, program_at):
    """The program and its libraries as (bytes, path in the root). Read before the tmpfs covers
    /tmp, where the program may well have been built. A link is followed: the library itself,
    under the listed name."""
    wanted = [(program, program_at)] + [(library, library) for library in host_libraries(program)]
    found = []
    for source, path in wanted:
        with open(source, 'rb') as f:
            found.append((f.read(), path))
    return found


def put_host_file(data, root, path):
    target = inside(root, path)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, 'wb') as f:
        f.write(data)
    os.chmod(target, 0o755)


def close_other_descriptors():
    """A descriptor held across pivot_root would still lead to the host's files."""
    os.closerange(3, 65536)


# -- native -----------------------------------------------------------------------------------

def native_case(case):
    host_files = read_host_files(case['program'], case['program_at'])
    root = make_root()
    lay_out(root, case['files'])
    for data, path in host_files:
        put_host_file(data, root, path)
    log = inside(root, NATIVE_LOG)
    os.makedirs(os.path.dirname(log), exist_ok=True)
    open(log, 'wb').close()
    mount_proc(root)
    close_other_descriptors()
    pivot_into(root)
    verify_contained(read_only_allowed=False)

    skip = {'/proc', NATIVE_LOG}
    before = snapshot('/', skip)
    held = open(NATIVE_LOG, 'rb')
    env = {'PATH': '/usr/bin:/bin', 'HOME': '/home/user', 'UPDATER_LOG': NATIVE_LOG}
    env.update(case.get('env', {}))
    exit_code, timed_out, stderr = run_process(
        [case['program_at']] + case.get('args', []), case['cwd'], env, case.get('timeout', 60))
    result = {'exit_code': exit_code, 'timed_out': timed_out, 'stderr': stderr,
              'events': read_log(NATIVE_LOG, held), 'before': before,
              'after': snapshot('/', skip)}
    held.close()
    return result


# -- wine -------------------------------------------------------------------------------------

class WinePrefix:
    """A prefix that lives and dies with the namespace, and sees only C: and D:."""

    def __init__(self, program, launcher, arch):
        self.program = program
        self.launcher = launcher
        self.loader = os.path.join(WINE_DIR, 'wine' if arch == 'i686' else 'wine64')
        self.server = wine_server(arch)
        self.count = 0
        self.drive = None
        self.env = {
            'PATH': '/usr/bin:/bin', 'HOME': WINE_HOME, 'USER': 'root', 'LANG': 'C.UTF-8',
            'WINEPREFIX': WINE_PREFIX, 'WINEARCH': 'win32' if arch == 'i686' else 'win64',
            'WINEDEBUG': '-all',
            'WINEDLLOVERRIDES': 'mscoree,mshtml=;winemenubuilder.exe=d',
        }

    def tool(self, args, timeout=300, check=True):
        code, timed_out, stderr = run_process([self.loader] + args, '/', self.env, timeout)
        if check and (code != 0 or timed_out):
            raise SandboxError('wine %s failed (%s): %s' % (' '.join(args), code, stderr[-2000:]))

    def prepare(self):
        for directory in (WINE_HOME, WINE_DRIVES, WINE_PREFIX):
            os.makedirs(directory, exist_ok=True)
        code, _, stderr = run_process([self.server, '-p'], '/', self.env, 60)
        if code != 0:
            raise SandboxError('wineserver -p failed (%s): %s' % (code, stderr))
        self.tool(['wineboot', '-i'])
        self.tool(['reg', 'add', r'HKCU\Software\Wine\WineDbg', '/v', 'ShowCrashDialog',
                   '/t', 'REG_DWORD', '/d', '0', '/f'])
        self.cut_links_out()
        with open(os.path.join(WINE_PREFIX, 'drive_c', 'launcher.exe'), 'wb') as f:
            f.write(self.launcher)
        os.makedirs(os.path.dirname(WINE_LOG), exist_ok=True)
        self.map_drive(self.fresh_drive())
        self.tool(['C:\\launcher.exe'])
        self.check_links()

    def cut_links_out(self):
        """Keeps only C:, and turns the shell folders that Wine links to $HOME into directories."""
        devices = os.path.join(WINE_PREFIX, 'dosdevices')
        for name in os.listdir(devices):
            if name != 'c:':
                os.remove(os.path.join(devices, name))
        for dirpath, dirnames, filenames in os.walk(WINE_PREFIX):
            for name in dirnames + filenames:
                path = os.path.join(dirpath, name)
                if os.path.islink(path) and not self.leads_inside(path, WINE_PREFIX):
                    os.remove(path)
                    os.mkdir(path)

    @staticmethod
    def leads_inside(link, top):
        target = os.path.realpath(link)
        return target == top or target.startswith(top + '/')

    def check_links(self):
        """Before every case: C: is drive_c, D: the case's directory, nothing else leads out."""
        devices = os.path.join(WINE_PREFIX, 'dosdevices')
        found = sorted(os.listdir(devices))
        if found != ['c:', 'd:']:
            raise SandboxError('unexpected drives or devices in the prefix: %s' % found)
        if os.path.realpath(os.path.join(devices, 'c:')) != os.path.join(WINE_PREFIX, 'drive_c'):
            raise SandboxError('C: leads elsewhere')
        if os.path.realpath(os.path.join(devices, 'd:')) != self.drive:
            raise SandboxError('D: leads elsewhere')
        for dirpath, dirnames, filenames in os.walk(WINE_PREFIX):
            if dirpath == devices:
                continue
            for name in dirnames + filenames:
                path = os.path.join(dirpath, name)
                if os.path.islink(path) and not self.leads_inside(path, WINE_PREFIX):
                    raise SandboxError('%s leads out of the prefix' % path)

    def fresh_drive(self):
        self.count += 1
        drive = os.path.join(WINE_DRIVES, 'case-%d' % self.count)
        os.mkdir(drive)
        return drive

    def map_drive(self, drive):
        link = os.path.join(WINE_PREFIX, 'dosdevices', 'd:')
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(drive, link)
        old, self.drive = self.drive, drive
        if old and old != drive:
            shutil.rmtree(old, ignore_errors=True)

    def run_case(self, case):
        drive = self.fresh_drive()
        lay_out(drive, case['files'])
        program = inside(drive, case['program_at'])
        os.makedirs(os.path.dirname(program), exist_ok=True)
        with open(program, 'wb') as f:
            f.write(self.program)
        self.map_drive(drive)
        self.check_links()
        if os.path.exists(WINE_LOG):
            os.remove(WINE_LOG)
        open(WINE_LOG, 'wb').close()
        held = open(WINE_LOG, 'rb')
        before = snapshot(drive)
        windows_program = 'D:' + case['program_at'].replace('/', '\\')
        line = ' '.join(['"%s"' % windows_program] + case.get('command_args', []))
        env = dict(self.env)
        env.update({'UPDATER_LOG': 'C:\\updater\\run.log', 'WINE_LAUNCH_COMMAND_LINE': line})
        env.update(case.get('env', {}))
        exit_code, timed_out, stderr = run_process(
            [self.loader, 'C:\\launcher.exe'], inside(drive, case['cwd']), env,
            case.get('timeout', 120), on_timeout=self.restart_server)
        result = {'exit_code': exit_code, 'timed_out': timed_out, 'stderr': stderr,
                  'events': read_log(WINE_LOG, held), 'before': before,
                  'after': snapshot(drive)}
        held.close()
        return result

    def restart_server(self):
        subprocess.run([self.server, '-k'], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([self.server, '-p'], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def shutdown(self):
        subprocess.run([self.server, '-k'], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine_server(arch):
    names = ('wineserver64', 'wineserver32') if arch == 'x86_64' else (
        'wineserver32', 'wineserver64')
    for name in names:
        path = os.path.join(WINE_DIR, name)
        if os.access(path, os.X_OK):
            return path
    return os.path.join(WINE_DIR, 'wineserver')


def build_launcher(source, arch):
    with tempfile.TemporaryDirectory(prefix='updater-launcher-') as scratch:
        target = os.path.join(scratch, 'launcher.exe')
        subprocess.run([arch + '-w64-mingw32-gcc', '-municode', '-O2', '-s', '-o', target, source,
                        '-lole32'], check=True)
        with open(target, 'rb') as f:
            return f.read()


def make_wine_root(root, prefix_directory):
    """Wine's files from the host, read-only; the run's prefix directory (held open, as the
    tmpfs may cover where it is); a private /dev of harmless nodes; a private /tmp."""
    os.makedirs(inside(root, WINE_TOP))
    mount('/proc/self/fd/%d' % prefix_directory, inside(root, WINE_TOP), None, MS_BIND)
    os.close(prefix_directory)
    if os.listdir(inside(root, WINE_TOP)):
        raise SandboxError('the prefix directory is not empty')
    for name in WINE_HOST_DIRS:
        bind_read_only('/' + name, inside(root, name))
    for name in WINE_HOST_TOP_ENTRIES:
        host = '/' + name
        if os.path.islink(host):
            os.symlink(os.readlink(host), inside(root, name))
        elif os.path.isdir(host):
            bind_read_only(host, inside(root, name))
    nodes = {'null': (1, 3), 'zero': (1, 5), 'full': (1, 7), 'random': (1, 8),
             'urandom': (1, 9)}
    os.makedirs(inside(root, 'dev/shm'))
    os.chmod(inside(root, 'dev/shm'), 0o1777)
    for name, (major, minor) in nodes.items():
        os.mknod(inside(root, 'dev/' + name), 0o666 | stat.S_IFCHR, os.makedev(major, minor))
    os.makedirs(inside(root, 'tmp'))
    os.chmod(inside(root, 'tmp'), 0o1777)


def wine_serve():
    setup = json.loads(sys.stdin.readline())
    with open(setup['program'], 'rb') as f:
        program = f.read()
    launcher = build_launcher(setup['launcher_source'], setup['arch'])
    close_other_descriptors()
    prefix_directory = os.open(setup['prefix_directory'], os.O_PATH | os.O_DIRECTORY)
    root = make_root()
    make_wine_root(root, prefix_directory)
    mount_proc(root)
    pivot_into(root)
    verify_contained(read_only_allowed=True, writable=(WINE_TOP,))
    prefix = WinePrefix(program, launcher, setup['arch'])
    prefix.prepare()
    print(json.dumps({'ready': True}), flush=True)
    try:
        for line in sys.stdin:
            if not line.strip():
                continue
            try:
                answer = prefix.run_case(json.loads(line))
            except (SandboxError, OSError, subprocess.SubprocessError) as error:
                answer = {'error': '%s: %s' % (type(error).__name__, error)}
            print(json.dumps(answer), flush=True)
    finally:
        prefix.shutdown()


# -- probe ------------------------------------------------------------------------------------

def probe():
    root = make_root()
    lay_out(root, {'/probe': {'type': 'file', 'data': base64.b64encode(b'x').decode()}})
    mount_proc(root)
    close_other_descriptors()
    pivot_into(root)
    verify_contained(read_only_allowed=False)
    if sorted(os.listdir('/')) != ['probe', 'proc']:
        raise SandboxError('the new root holds %s' % sorted(os.listdir('/')))
    return {'ok': True}


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else ''
    if os.getpid() != 1:
        # Only as the first process of a new PID namespace does /proc show nothing of the host.
        report = {'ok': False, 'reason': 'not started by unshare --mount --pid --fork'}
        print(json.dumps(report), flush=True)
        return 2
    try:
        if mode == 'probe':
            report = probe()
        elif mode == 'native':
            report = native_case(json.loads(sys.stdin.read()))
        elif mode == 'wine':
            wine_serve()
            return 0
        else:
            sys.stderr.write(__doc__)
            return 2
    except (SandboxError, OSError, subprocess.SubprocessError) as error:
        report = {'ok': False, 'error': '%s: %s' % (type(error).__name__, error),
                  'reason': str(error)}
    print(json.dumps(report), flush=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
