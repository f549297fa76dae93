"""EXIST, DATE and OSVER."""

import os
import time

from harness import HEAD, flags, message, only


def case_exist_items_patterns_and_directories(sb):
    sb.write('data/a.txt', 'a')
    sb.write('data/b.txt', 'b')
    os.makedirs(sb.path('data', 'sub'))
    sb.script(HEAD % 'Two, Pattern, NoMatch, Dir, DirSlash, Gap, OnlyDirs' +
              '[Two]\nMODE=EXIST\nFILE= <Src>\\data\\a.txt , <Src>\\data\\b.txt \n'
              '[Pattern]\nMODE=EXIST\nFILE=<Src>\\data\\*.txt\n'
              '[NoMatch]\nMODE=EXIST\nFILE=<Src>\\data\\*.doc\n'
              '[Dir]\nMODE=EXIST\nFILE=<Src>\\data\n'
              '[DirSlash]\nMODE=EXIST\nFILE=<Src>\\data\\\n'
              '[Gap]\nMODE=EXIST\nFILE=<Src>\\data\\a.txt,,<Src>\\data\\b.txt\n'
              '[OnlyDirs]\nMODE=EXIST\nFILE=<Src>\\data\\s*\n')
    result = sb.run()
    assert flags(result) == {'Two': True, 'Pattern': True, 'NoMatch': False, 'Dir': True,
                             'DirSlash': False, 'Gap': False, 'OnlyDirs': True}, result
    assert result.exit_code == 0


def case_exist_with_empty_file_stops_with_message_4(sb):
    sb.script(HEAD % 'E, After' + '[E]\nMODE=EXIST\nFILE=\n[After]\nMODE=OSVER\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(4, 'E', 'FILE')], result
    assert [p['name'] for p in result.procs] == ['E'] and result.exit_code == 1


def case_exist_missing_file_key_fails_load(sb):
    sb.script(HEAD % 'E' + '[E]\nMODE=EXIST\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(2, 'E', 'FILE')], result


def set_local_date(path, year, month, day):
    stamp = time.mktime((year, month, day, 12, 0, 0, 0, 0, -1))
    os.utime(path, (stamp, stamp))


def case_date_compares_local_dates(sb):
    for name in ('same', 'earlier', 'later'):
        sb.write(name + '.txt', name)
    set_local_date(sb.path('same.txt'), 2020, 5, 17)
    set_local_date(sb.path('earlier.txt'), 2020, 5, 16)
    set_local_date(sb.path('later.txt'), 2021, 1, 1)
    sb.script(HEAD % 'Same, Earlier, Later, Missing, YearMonth, Dir' +
              '[Same]\nMODE=DATE\nFILE=<Src>\\same.txt\nDATE=2020/05/17\n'
              '[Earlier]\nMODE=DATE\nFILE=<Src>\\later.txt, <Src>\\earlier.txt\nDATE=2020/5/17\n'
              '[Later]\nMODE=DATE\nFILE=<Src>\\later.txt\nDATE=2020/12/31\n'
              '[Missing]\nMODE=DATE\nFILE=<Src>\\missing.txt\nDATE=2000/1/1\n'
              '[YearMonth]\nMODE=DATE\nFILE=<Src>\\earlier.txt\nDATE=2020/5\n'
              '[Dir]\nMODE=DATE\nFILE=<Src>\nDATE=1990/1/1\n')
    result = sb.run()
    assert flags(result) == {'Same': False, 'Earlier': True, 'Later': False, 'Missing': True,
                             'YearMonth': False, 'Dir': True}, result


@only('native')
def case_date_of_file_held_open_counts_as_older(sb):
    sb.write('busy.txt', 'busy')
    set_local_date(sb.path('busy.txt'), 2030, 1, 1)
    sb.script(HEAD % 'Busy' + '[Busy]\nMODE=DATE\nFILE=<Src>\\busy.txt\nDATE=2000/1/1\n')
    result = sb.run_while_held(sb.path('busy.txt'))
    assert flags(result) == {'Busy': True}, result


def case_osver_is_nt_and_never_stops(sb):
    sb.script(HEAD % 'Os, S' + '[Os]\nMODE=OsVer\n[S]\nMODE=SWITCH\nPROC=Os\n0=\n1=Yes\n'
              '[Yes]\nMODE=OSVER\n')
    result = sb.run()
    assert [(p['name'], p['flag']) for p in result.procs] == [
        ('Os', True), ('Yes', True), ('S', False)], result
