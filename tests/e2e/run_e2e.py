#!/usr/bin/env python3
"""Runs every end-to-end case against one build of the Updater.

Usage: run_e2e.py --platform native|wine --program PATH [--helpers DIR] [-k SUBSTRING]

Under Wine the cases start helper programs built with the tests (sleeper.exe, recorder.exe,
holder.exe); --helpers names their directory, by default the build's "tests" directory beside
PATH.

Cases marked @root_sandbox run only in a throwaway root (throwaway_root.py), made when the first
of them comes. Where this machine cannot make one, they are skipped, and the output says so.
"""

import argparse
import importlib
import os
import pkgutil
import sys
import time
import traceback

import harness
import throwaway_root


def load_cases():
    import cases
    found = []
    for module_info in sorted(pkgutil.iter_modules(cases.__path__), key=lambda m: m.name):
        module = importlib.import_module('cases.' + module_info.name)
        for name in sorted(dir(module)):
            if name.startswith('case_'):
                found.append((module_info.name + '.' + name, getattr(module, name)))
    return found


def make_platform(name, program, helpers):
    if name == 'native':
        return harness.NativePlatform()
    import wine
    return wine.WinePlatform(helpers or os.path.join(os.path.dirname(program), 'tests'))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--platform', default='native', choices=['native', 'wine'])
    parser.add_argument('--program', required=True)
    parser.add_argument('--helpers')
    parser.add_argument('-k', dest='pattern', default='')
    options = parser.parse_args()

    platform = make_platform(options.platform, options.program, options.helpers)
    platform.prepare()
    roots = None
    failures, ran, skipped, without_root = [], 0, 0, []
    started = time.time()
    try:
        for name, case in load_cases():
            if options.pattern not in name:
                continue
            if platform.name not in getattr(case, 'platforms', (platform.name,)):
                skipped += 1
                continue
            if getattr(case, 'root_sandbox', False):
                if roots is None:
                    roots = throwaway_root.make_roots(platform.name, options.program)
                if roots.refusal:
                    without_root.append(name)
                    print('SKIPPED (no throwaway root: %s) %s' % (roots.refusal, name), flush=True)
                    continue
                fixture, close = throwaway_root.ThrowawayRoot(roots), None
            else:
                fixture = harness.Sandbox(platform, options.program)
                close = fixture.close
            ran += 1
            try:
                case(fixture)
                print('ok   %s' % name, flush=True)
            except harness.Skipped as reason:
                ran -= 1
                skipped += 1
                print('SKIPPED (%s) %s' % (reason, name), flush=True)
            except Exception:
                failures.append(name)
                print('FAIL %s\n%s' % (name, traceback.format_exc()), flush=True)
            finally:
                if close:
                    close()
    finally:
        if roots is not None:
            roots.close()
        platform.shutdown()
    print('%s: %d passed, %d failed, %d skipped in %.1f s' % (
        platform.name, ran - len(failures), len(failures), skipped + len(without_root),
        time.time() - started))
    if without_root:
        print('SKIPPED %d sandbox cases (no throwaway root: %s); they never run outside one' % (
            len(without_root), roots.refusal))
    for name in failures:
        print('  failed: ' + name)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
