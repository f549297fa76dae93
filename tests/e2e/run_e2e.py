#!/usr/bin/env python3
"""Runs every end-to-end case against one build of the Updater.

Usage: run_e2e.py --platform native|wine --program PATH [--helpers DIR] [-k SUBSTRING]

Under Wine the cases start helper programs built with the tests (sleeper.exe, recorder.exe);
--helpers names their directory, by default the build's "tests" directory beside PATH.
"""

import argparse
import importlib
import os
import pkgutil
import sys
import time
import traceback

import harness


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
    failures, ran, skipped = [], 0, 0
    started = time.time()
    try:
        for name, case in load_cases():
            if options.pattern not in name:
                continue
            if platform.name not in getattr(case, 'platforms', (platform.name,)):
                skipped += 1
                continue
            ran += 1
            sandbox = harness.Sandbox(platform, options.program)
            try:
                case(sandbox)
                print('ok   %s' % name, flush=True)
            except Exception:
                failures.append(name)
                print('FAIL %s\n%s' % (name, traceback.format_exc()), flush=True)
            finally:
                sandbox.close()
    finally:
        platform.shutdown()
    print('%s: %d passed, %d failed, %d skipped in %.1f s' % (
        platform.name, ran - len(failures), len(failures), skipped, time.time() - started))
    for name in failures:
        print('  failed: ' + name)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
