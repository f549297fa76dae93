"""LAUNCH, APPEXIST and WAITAPP with real programs: a recorder of its working directory and
arguments, and a sleeper (sleep(1) natively, sleeper.exe under Wine), each installed in the
sandbox under its own path. The sandbox ends every program it holds when the case ends; a wait
that should not happen would run into the run's watchdog instead of passing."""

import os

from harness import HEAD, flags, message, texts


WATCHDOG = 60  # seconds; the long sleepers below run five times as long
LONG = '300'


def launch(name, files, params, wait):
    return '[%s]\nMODE=LAUNCH\nFILE=%s\nPARAM=%s\nISWAIT=%s\n' % (
        name, ', '.join(files), ', '.join(params), wait)


def case_launch_starts_in_order_each_in_its_directory_with_its_parameters(sb):
    one = sb.helper('recorder', 'one')
    spaced = sb.helper('recorder', 'my apps')
    three = sb.helper('recorder', 'three')
    # Were the path with a space not quoted, the system would take this one for the program.
    sb.helper('recorder', '.', name='my')
    sb.script(HEAD % 'Run' + launch(
        'Run', [one, spaced, three + ' first'],
        ['a  b "x y" z "x"y \\"q', 'second'], 1))
    result = sb.run(timeout=WATCHDOG)
    assert flags(result) == {'Run': True} and result.exit_code == 0, result
    # The third item names no file as a whole and stays as written; it has no parameter item.
    assert sb.records() == [
        (sb.epath('one'), ['a', 'b', 'x y', 'z', 'xy', '"q']),
        (sb.epath('my apps'), ['second']),
        (sb.epath('three'), ['first']),
    ], result


def case_launch_failures_stop_the_run_with_message_9(sb):
    exe = sb.platform.program_file
    sb.helper('recorder', 'apps')
    sb.write('apps/' + exe('notes'), 'not a program\n')
    os.chmod(sb.path('apps', exe('notes')), 0o755)
    failing = [(exe('recorder'), 'bare name'), ('\\' + exe('recorder'), 'only the root'),
               (sb.epath('apps', exe('missing')), 'missing'),
               (sb.epath('apps', exe('notes')), 'not a program')]
    if sb.platform.name == 'native':
        sb.helper('recorder', 'locked')
        os.chmod(sb.path('locked', 'recorder'), 0o644)
        failing.append((sb.epath('locked', 'recorder'), 'no execute permission'))
    for program, params in failing:
        sb.script(HEAD % 'Run, After' + launch('Run', [program], [params], 1) +
                  '[After]\nMODE=OSVER\n')
        result = sb.run(timeout=WATCHDOG)
        assert texts(result) == [message(9, program, params)], (program, result)
        assert [p['name'] for p in result.procs] == ['Run'] and result.exit_code == 1, result
    assert sb.records() == []


def case_launch_second_of_three_failing_leaves_the_first_running(sb):
    sleeper = sb.helper('sleeper', 'apps')
    recorder = sb.helper('recorder', 'apps')
    missing = sb.epath('apps', sb.platform.program_file('missing'))
    # ISWAIT that is no number reads as 0: the sleeper is not waited for.
    sb.script(HEAD % 'Run' + launch('Run', [sleeper, missing, recorder],
                                    [LONG, 'm', 'r'], 'soon'))
    result = sb.run(timeout=WATCHDOG)
    assert texts(result) == [message(9, missing, 'm')], result
    assert sb.records() == []
    sb.script(HEAD % 'Still' + '[Still]\nMODE=APPEXIST\nAPP=%s\n' % sleeper)
    assert flags(sb.run(timeout=WATCHDOG)) == {'Still': True}


def case_appexist_by_full_path_in_any_letter_case(sb):
    # A name of this sandbox's own: a bare name also matches any other process of that name
    # whose path cannot be read, such as another sleeper that has just ended.
    sleeper = sb.helper('sleeper', 'apps', name='sl' + os.path.basename(sb.root)[-8:])
    sb.script(HEAD % 'Start, Upper, Bare, Self, OneOfTwo, Empty' +
              launch('Start', [sleeper], [LONG], 0) +
              '[Upper]\nMODE=APPEXIST\nAPP= %s \n' % sleeper.upper() +
              '[Bare]\nMODE=APPEXIST\nAPP=%s\n' % sleeper.split('\\')[-1] +
              '[Self]\nMODE=APPEXIST\nAPP=%s\n' % sb.epath(os.path.basename(sb.program)) +
              '[OneOfTwo]\nMODE=APPEXIST\nAPP=%s, %s\n' % (
                  sleeper, sb.epath('apps', sb.platform.program_file('other'))) +
              '[Empty]\nMODE=APPEXIST\nAPP=\n')
    result = sb.run(timeout=WATCHDOG)
    # A bare name matches only a process whose full path cannot be read; the Updater never
    # finds itself.
    assert flags(result) == {'Start': True, 'Upper': True, 'Bare': False, 'Self': False,
                             'OneOfTwo': False, 'Empty': False}, result
    assert texts(result) == [message(4, 'Empty', 'APP')], result


def case_waitapp_time_outs_and_launch_waiting_for_the_end(sb):
    slow = sb.helper('sleeper', 'slow')
    short = sb.helper('sleeper', 'short')
    once = sb.helper('sleeper', 'once')
    none = sb.epath('apps', sb.platform.program_file('none'))
    sb.script(HEAD % 'Start, Zero, Limit, SlowRuns, Endless, ShortGone, '
                     'Missing, SecondWithoutTick, Wait, OnceGone' +
              launch('Start', [slow, short], [LONG, '1'], 0) +
              '[Zero]\nMODE=WAITAPP\nAPP=%s\nTICK=0\n' % slow +
              '[Limit]\nMODE=WAITAPP\nAPP=%s\nTICK=200\n' % slow +
              '[SlowRuns]\nMODE=APPEXIST\nAPP=%s\n' % slow +
              '[Endless]\nMODE=WAITAPP\nAPP=%s\nTICK=-1\n' % short +
              '[ShortGone]\nMODE=APPEXIST\nAPP=%s\n' % short +
              '[Missing]\nMODE=WAITAPP\nAPP=%s\nTICK=-1\n' % none +
              '[SecondWithoutTick]\nMODE=WAITAPP\nAPP=%s, %s\nTICK=-1\n' % (none, slow) +
              launch('Wait', [once], ['1'], 1) +
              '[OnceGone]\nMODE=APPEXIST\nAPP=%s\n' % once)
    result = sb.run(timeout=WATCHDOG)
    assert flags(result) == {'Start': True, 'Zero': True, 'Limit': True, 'SlowRuns': True,
                             'Endless': True, 'ShortGone': False, 'Missing': True,
                             'SecondWithoutTick': True, 'Wait': True,
                             'OnceGone': False}, result
    assert result.exit_code == 0, result


def case_waitapp_waits_for_the_first_of_two_instances(sb):
    sleeper = sb.helper('sleeper', 'apps')
    # Started in this order, the short one comes first in the system's list (on Linux the
    # list is ordered by process id, which grows until it wraps). It runs long enough to be
    # found on a busy machine.
    sb.script(HEAD % 'Start, Wait, Other' + launch('Start', [sleeper, sleeper], ['5', LONG], 0) +
              '[Wait]\nMODE=WAITAPP\nAPP=%s\nTICK=-1\n' % sleeper +
              '[Other]\nMODE=APPEXIST\nAPP=%s\n' % sleeper)
    result = sb.run(timeout=WATCHDOG)
    assert flags(result) == {'Start': True, 'Wait': True, 'Other': True}, result
