"""Hostile or broken scripts end with a clear box and a clean stop."""

import os

from harness import message, only, texts


def write_bytes(sb, data):
    with open(sb.settings, 'wb') as f:
        f.write(data)


def case_empty_binary_and_sectionless_files(sb):
    for data in [b'', os.urandom(4096).replace(b'[', b'('), b'NAME=x\nPROC=y\n',
                 b'\x00\x01\x02[UPDATER\x00]\x00NAME=\x00\n']:
        write_bytes(sb, data)
        result = sb.run(timeout=60)
        assert texts(result) == [message(2, 'UPDATER', 'NAME')], result
        assert result.exit_code == 1


def case_nul_bytes_inside_values(sb):
    write_bytes(sb, b'[UPDATER]\r\nNAME=Tool\r\nPROC=A\x00B\r\n[A]\r\nMODE=OSVER\r\n')
    result = sb.run()
    assert result.result in ('done', 'error'), result
    assert len(result.boxes) <= 1, result


def case_values_longer_than_the_bound_are_refused_not_cut(sb):
    # Windows' own reader wraps values of 65,536 characters and more: stay below that.
    long_value = 'x' * 40000
    sb.script('[UPDATER]\nNAME=%s\nPROC=A\n[A]\nMODE=OSVER\n' % long_value)
    result = sb.run(answers='')
    assert texts(result) == [message(2, 'UPDATER', 'NAME')], result.boxes[0]['text'][:80]
    assert result.exit_code == 1 and result.procs == [], result.exit_code
    sb.script('[UPDATER]\nNAME=T\nPROC=A\n[A]\nMODE=DELETE\nFILE=%s\n' % ('y' * 32768))
    result = sb.run()
    assert texts(result) == [message(2, 'A', 'FILE')], result.boxes[0]['text'][:80]


def case_thousands_of_sections(sb):
    sections = ''.join('[S%d]\nMODE=OSVER\n' % i for i in range(5000))
    sb.script('[UPDATER]\nNAME=T\nPROC=S4999,S0\n' + sections)
    result = sb.run()
    assert [p['name'] for p in result.procs] == ['S4999', 'S0'], result


def case_percent_signs_reach_the_box_unchanged(sb):
    sb.script('[UPDATER]\nNAME=100%s %n %d\nPROC=%s%s%s%n\n')
    result = sb.run()
    assert texts(result) == [message(2, '%s%s%s%n', 'MODE')], result
    assert result.boxes[0]['caption'] == '100%s %n %d'


def case_proc_of_thousands_of_names(sb):
    names = ','.join('P%d' % i for i in range(3000))
    sections = ''.join('[P%d]\nMODE=OSVER\n' % i for i in range(3000))
    sb.script('[UPDATER]\nNAME=T\nPROC=%s\n%s' % (names, sections))
    result = sb.run()
    # The value is read whole: every name runs, the last one too.
    assert [p['name'] for p in result.procs] == ['P%d' % i for i in range(3000)], result.result
    assert result.result == 'done'


def case_a_file_in_a_long_value_is_that_file(sb):
    # Cut at 258 characters, this value would end in "<Src>\\sub\\", which names the whole
    # directory.
    sb.write('sub/old.tmp', 'old')
    sb.write('sub/keep.txt', 'keep')
    sb.write('gone.tmp', 'gone')
    value = '<Src>\\gone.tmp,' + ' ' * 233 + '<Src>\\sub\\old.tmp'
    sb.script('[UPDATER]\nNAME=T\nPROC=D\n[D]\nMODE=DELETE\nFILE=%s\n' % value)
    result = sb.run()
    assert result.result == 'done', result
    assert os.listdir(sb.path('sub')) == ['keep.txt']
    assert not os.path.exists(sb.path('gone.tmp'))


@only('native')  # Windows reads such files as its ANSI code page
def case_utf8_script_with_bom_and_japanese_names(sb):
    sb.script('\ufeff[UPDATER]\nNAME=更新ツール\nPROC=確認\n[確認]\nMODE=OSVER\n')
    result = sb.run()
    assert result.procs and result.procs[0]['name'] == '確認', result


def case_definitions_that_double_stop_growing(sb):
    defines = '<X0>=abcdefgh\n' + ''.join('<X%d>=<X%d><X%d>\n' % (i, i - 1, i - 1)
                                          for i in range(1, 40))
    sb.script('[UPDATER]\nNAME=T\nPROC=Show\n[DEFINE]\n' + defines +
              '[Show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=<X39>\nISABORT=0,0\n')
    result = sb.run(timeout=120)
    assert result.exit_code == 0, result.exit_code
    # X17 reaches the bound; references that would carry a value past it stay as written.
    text = result.boxes[0]['text']
    assert text.startswith('<X17><X17><X18>') and len(text) <= 1 << 20, text[:100]
