"""CRC and VERIFY: checksums against expected values, the measuring aid, item-by-item comparison."""

import os
import subprocess
import sys
import zlib

from harness import ERROR_STYLE, message, only

HEAD = '[UPDATER]\nNAME=Tool\nPROC=%s\n'
INFORMATION_STYLE = 64


def flags(result):
    return {p['name']: p['flag'] for p in result.procs}


def crc_proc(name, files, kind, crcs):
    return '[%s]\nMODE=CRC\nFILE=%s\nTYPE=%s\nCRC=%s\n' % (name, files, kind, crcs)


def measured(proc, path, crc):
    return 'PROC\t: %s\nFILE\t: %s\nCRC32\t: 0x%08X' % (proc, path, crc)


def unreadable(proc, path):
    return 'PROC\t: %s\nFILE\t: %s\nCRC32\t: GetFileData Error.' % (proc, path)


def write_files(sb, *contents):
    """Files a.bin, b.bin, ... with the given contents; their paths as the script writes them."""
    names = []
    for index, content in enumerate(contents):
        name = '%s.bin' % chr(ord('a') + index)
        sb.write(name, content, mode='wb')
        names.append('<Src>\\' + name)
    return names


def case_crc_all_must_match_and_one_is_enough(sb):
    a, b, c = write_files(sb, b'123456789', b'second', b'third')
    good = ['0xCBF43926', '0x%08x' % zlib.crc32(b'second'), '0x%08X' % zlib.crc32(b'third')]
    files = ', '.join([a, b, c])
    # The third item of SecondWrong would show a box if it were reached.
    sb.script(HEAD % 'AllGood, SecondWrong, OnlyThird, NoneGood, Spaced' +
              crc_proc('AllGood', files, 'and', ','.join(good)) +
              crc_proc('SecondWrong', files, 'AND', '%s,0x00000000,' % good[0]) +
              crc_proc('OnlyThird', files, 'OR', '0x1,0x2,%s' % good[2]) +
              crc_proc('NoneGood', files, '', '0x1,0x2,0x3') +
              crc_proc('Spaced', ' %s , %s ' % (b, a), ' ', ' 0x1 ,  %s ' % good[0]))
    result = sb.run()
    assert flags(result) == {'AllGood': True, 'SecondWrong': False, 'OnlyThird': True,
                             'NoneGood': False, 'Spaced': True}, result
    assert result.boxes == [] and result.exit_code == 0, result


def case_crc_expected_values_in_either_case_and_without_prefix(sb):
    (a,) = write_files(sb, b'123456789')
    sb.script(HEAD % 'Upper, Lower, Bare, CapitalX, Short' +
              crc_proc('Upper', a, 'AND', '0xCBF43926') +
              crc_proc('Lower', a, 'AND', '0xcbf43926') +
              crc_proc('Bare', a, 'AND', 'CBF43926') +
              crc_proc('CapitalX', a, 'AND', '0XCBF43926') +
              crc_proc('Short', a, 'AND', '0xCBF4392'))
    result = sb.run()
    assert flags(result) == {'Upper': True, 'Lower': True, 'Bare': False, 'CapitalX': False,
                             'Short': False}, result


def case_crc_measuring_aid(sb):
    a, b, empty = write_files(sb, b'123456789', b'second', b'')
    missing = '<Src>\\missing.bin'
    sb.script(HEAD % 'Shown, Missing, Empty, After' +
              crc_proc('Shown', '%s, %s' % (a, b), 'AND', '') +
              crc_proc('Missing', '%s, %s, %s' % (a, missing, b), 'OR', '') +
              crc_proc('Empty', empty, 'AND', '') +
              '[After]\nMODE=OSVER\n')
    result = sb.run(answers='cancel')
    # An unreadable file ends the procedure: the file after it is not measured.
    path = sb.epath
    assert [(box['style'], box['text'], box['caption']) for box in result.boxes] == [
        (INFORMATION_STYLE, measured('Shown', path('a.bin'), 0xCBF43926), 'Tool'),
        (INFORMATION_STYLE, measured('Shown', path('b.bin'), zlib.crc32(b'second')), 'Tool'),
        (INFORMATION_STYLE, measured('Missing', path('a.bin'), 0xCBF43926), 'Tool'),
        (ERROR_STYLE, unreadable('Missing', path('missing.bin')), 'Tool'),
        (ERROR_STYLE, unreadable('Empty', path('c.bin')), 'Tool'),
    ], result
    # Boxes with OK alone take OK whatever the answer list says.
    assert {box['answer'] for box in result.boxes} == {1}, result
    assert flags(result) == {'Shown': True, 'Missing': False, 'Empty': False,
                             'After': True}, result
    assert (result.exit_code, result.result) == (0, 'done'), result


def case_crc_empty_file_list_stops_with_message_4(sb):
    sb.script(HEAD % 'C, After' + crc_proc('C', '', 'AND', '0x1') + '[After]\nMODE=OSVER\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(4, 'C', 'FILE')], result
    assert [p['name'] for p in result.procs] == ['C'] and result.exit_code == 1, result
    sb.script(HEAD % 'C' + '[C]\nMODE=CRC\nFILE=x\nTYPE=AND\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(2, 'C', 'CRC')], result


def case_crc_of_a_file_beyond_4_gib(sb):
    """The size's high part counts and memory stays small: the whole file is checksummed."""
    size = (4 << 30) + 3
    with open(sb.path('big.bin'), 'wb') as f:
        f.seek(size - 3)
        f.write(b'end')
    expected = 0
    zeros = bytes(16 << 20)
    for _ in range((size - 3) // len(zeros)):
        expected = zlib.crc32(zeros, expected)
    expected = zlib.crc32(b'end', expected)
    sb.script(HEAD % 'Big, Match' + crc_proc('Big', '<Src>\\big.bin', 'AND', '') +
              crc_proc('Match', '<Src>\\big.bin', 'AND', '0x%08X' % expected))
    result = sb.run(timeout=600)
    assert [b['text'] for b in result.boxes] == [
        measured('Big', sb.epath('big.bin'), expected)], result
    assert flags(result) == {'Big': True, 'Match': True}, result


@only('native')
def case_crc_of_a_file_held_open_does_not_match(sb):
    (a,) = write_files(sb, b'123456789')
    sb.script(HEAD % 'Busy, Measured' + crc_proc('Busy', a, 'AND', '0xCBF43926') +
              crc_proc('Measured', a, 'AND', ''))
    holder = subprocess.Popen([sys.executable, '-c',
                               'import sys,time; f=open(sys.argv[1]); print(1, flush=True); '
                               'time.sleep(30)', sb.path('a.bin')], stdout=subprocess.PIPE)
    try:
        holder.stdout.readline()
        result = sb.run()
    finally:
        holder.kill()
        holder.wait()
    assert flags(result) == {'Busy': False, 'Measured': False}, result
    assert [b['text'] for b in result.boxes] == [unreadable('Measured', sb.epath('a.bin'))]


def verify_proc(name, arg1, arg2):
    return '[%s]\nMODE=VERIFY\nARG1=%s\nARG2=%s\n' % (name, arg1, arg2)


def case_verify_item_by_item(sb):
    sb.script(HEAD % 'BothEmpty, FirstEmpty, SecondEmpty, Spaces, Case, Shorter, ShorterEmpty, '
              'Longer, Differ, Param, Inner' +
              verify_proc('BothEmpty', '', '') +
              verify_proc('FirstEmpty', '', 'x') +
              verify_proc('SecondEmpty', 'x', '') +
              verify_proc('Spaces', ' one ,two,  three', 'one, two ,three ') +
              verify_proc('Case', 'Setup,ABC', 'setup,abc') +
              verify_proc('Shorter', 'a,b', 'a') +
              verify_proc('ShorterEmpty', 'a,', 'A') +
              verify_proc('Longer', 'a', 'a,b') +
              verify_proc('Differ', 'a,b,c', 'a,x,c') +
              verify_proc('Param', '{?Param\\0}', 'Yes') +
              verify_proc('Inner', 'a b', 'a  b'))
    result = sb.run(['YES'])
    assert flags(result) == {'BothEmpty': True, 'FirstEmpty': False, 'SecondEmpty': False,
                             'Spaces': True, 'Case': True, 'Shorter': False,
                             'ShorterEmpty': True, 'Longer': True, 'Differ': False,
                             'Param': True, 'Inner': False}, result
    assert result.boxes == [] and result.exit_code == 0, result
