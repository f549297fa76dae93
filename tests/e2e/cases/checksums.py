"""CRC and VERIFY: checksums against expected values, the measuring aid, item-by-item comparison."""

import zlib

from harness import ERROR_STYLE, HEAD, flags, message, only


INFORMATION_STYLE = 64


def crc(name, files, kind, crcs):
    return '[%s]\nMODE=CRC\nFILE=%s\nTYPE=%s\nCRC=%s\n' % (name, files, kind, crcs)


def measured(proc, path, value):
    return 'PROC\t: %s\nFILE\t: %s\nCRC32\t: 0x%08X' % (proc, path, value)


def unreadable(proc, path):
    return 'PROC\t: %s\nFILE\t: %s\nCRC32\t: GetFileData Error.' % (proc, path)


def write_files(sb, *contents):
    """a.bin, b.bin, ... with these contents; their paths as the script writes them."""
    for index, content in enumerate(contents):
        sb.write('%s.bin' % chr(ord('a') + index), content, mode='wb')
    return ['<Src>\\%s.bin' % chr(ord('a') + index) for index in range(len(contents))]


def case_crc_all_must_match_and_one_is_enough(sb):
    a, b, c = write_files(sb, b'123456789', b'second', b'third')
    files = ', '.join([a, b, c])
    good = '0xCBF43926,0x%08x,0x%08X' % (zlib.crc32(b'second'), zlib.crc32(b'third'))
    # The third item of SecondWrong would show a box if it were reached.
    sb.script(HEAD % 'AllGood, SecondWrong, OnlyThird, NoneGood, Spaced' +
              crc('AllGood', files, 'and', good) +
              crc('SecondWrong', files, 'AND', '0xCBF43926,0x00000000,') +
              crc('OnlyThird', files, 'OR', '0x1,0x2,0x%08X' % zlib.crc32(b'third')) +
              crc('NoneGood', files, '', '0x1,0x2,0x3') +
              crc('Spaced', ' %s , %s ' % (b, a), ' ', ' 0x1 ,  0xCBF43926 '))
    result = sb.run()
    assert flags(result) == {'AllGood': True, 'SecondWrong': False, 'OnlyThird': True,
                             'NoneGood': False, 'Spaced': True}, result
    assert result.boxes == [] and result.exit_code == 0, result


def case_crc_expected_values_in_either_case_and_without_prefix(sb):
    (a,) = write_files(sb, b'123456789')
    sb.script(HEAD % 'Upper, Lower, Bare, CapitalX' + crc('Upper', a, 'AND', '0xCBF43926') +
              crc('Lower', a, 'AND', '0xcbf43926') + crc('Bare', a, 'AND', 'CBF43926') +
              crc('CapitalX', a, 'AND', '0XCBF43926'))
    result = sb.run()
    assert flags(result) == {'Upper': True, 'Lower': True, 'Bare': False,
                             'CapitalX': False}, result


def case_crc_measuring_aid(sb):
    a, b, _ = write_files(sb, b'123456789', b'second', b'')
    sb.script(HEAD % 'Shown, Missing, Empty, After' + crc('Shown', '%s, %s' % (a, b), 'AND', '') +
              crc('Missing', '%s, <Src>\\missing.bin, %s' % (a, b), 'OR', '') +
              crc('Empty', '<Src>\\c.bin', 'AND', '') + '[After]\nMODE=OSVER\n')
    result = sb.run(answers='cancel')
    # An unreadable file ends its procedure, the file after it unmeasured; the run goes on.
    assert [(box['style'], box['text'], box['caption'], box['answer'])
            for box in result.boxes] == [
        (INFORMATION_STYLE, measured('Shown', sb.epath('a.bin'), 0xCBF43926), 'Tool', 1),
        (INFORMATION_STYLE, measured('Shown', sb.epath('b.bin'), zlib.crc32(b'second')), 'Tool', 1),
        (INFORMATION_STYLE, measured('Missing', sb.epath('a.bin'), 0xCBF43926), 'Tool', 1),
        (ERROR_STYLE, unreadable('Missing', sb.epath('missing.bin')), 'Tool', 1),
        (ERROR_STYLE, unreadable('Empty', sb.epath('c.bin')), 'Tool', 1),
    ], result
    assert flags(result) == {'Shown': True, 'Missing': False, 'Empty': False,
                             'After': True}, result
    assert (result.exit_code, result.result) == (0, 'done'), result


def case_crc_empty_file_list_stops_with_message_4(sb):
    sb.script(HEAD % 'C, After' + crc('C', '', 'AND', '0x1') + '[After]\nMODE=OSVER\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(4, 'C', 'FILE')], result
    assert [p['name'] for p in result.procs] == ['C'] and result.exit_code == 1, result


def case_crc_of_a_file_beyond_4_gib(sb):
    """The size's high part counts and memory stays small: the whole file is checksummed."""
    size = (4 << 30) + 3
    with open(sb.path('big.bin'), 'wb') as f:
        f.seek(size - 3)
        f.write(b'end')
    expected, zeros = 0, bytes(16 << 20)
    for _ in range((size - 3) // len(zeros)):
        expected = zlib.crc32(zeros, expected)
    expected = zlib.crc32(b'end', expected)
    sb.script(HEAD % 'Big, Match' + crc('Big', '<Src>\\big.bin', 'AND', '') +
              crc('Match', '<Src>\\big.bin', 'AND', '0x%08X' % expected))
    result = sb.run(timeout=600)
    assert [b['text'] for b in result.boxes] == [
        measured('Big', sb.epath('big.bin'), expected)], result
    assert flags(result) == {'Big': True, 'Match': True}, result


@only('native')
def case_crc_of_a_file_held_open_does_not_match(sb):
    (a,) = write_files(sb, b'123456789')
    sb.script(HEAD % 'Busy, Measured' + crc('Busy', a, 'AND', '0xCBF43926') +
              crc('Measured', a, 'AND', ''))
    result = sb.run_while_held(sb.path('a.bin'))
    assert flags(result) == {'Busy': False, 'Measured': False}, result
    assert [b['text'] for b in result.boxes] == [unreadable('Measured', sb.epath('a.bin'))]


def case_verify_item_by_item(sb):
    pairs = [('BothEmpty', '', ''), ('FirstEmpty', '', 'x'), ('SecondEmpty', 'x', ''),
             ('Spaces', ' one ,two,  three', 'one, two ,three '), ('Case', 'Setup,ABC', 'setup,abc'),
             ('Shorter', 'a,b', 'a'), ('ShorterEmpty', 'a,', 'A'), ('Longer', 'a', 'a,b'),
             ('Differ', 'a,b,c', 'a,x,c'), ('Param', '{?Param\\0}', 'Yes'), ('Inner', 'a b', 'a  b')]
    sb.script(HEAD % ','.join(name for name, _, _ in pairs) + ''.join(
        '[%s]\nMODE=VERIFY\nARG1=%s\nARG2=%s\n' % pair for pair in pairs))
    result = sb.run(['YES'])
    assert flags(result) == {'BothEmpty': True, 'FirstEmpty': False, 'SecondEmpty': False,
                             'Spaces': True, 'Case': True, 'Shorter': False,
                             'ShorterEmpty': True, 'Longer': True, 'Differ': False,
                             'Param': True, 'Inner': False}, result
    assert result.boxes == [] and result.exit_code == 0, result
