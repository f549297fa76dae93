"""UPDATER_CHECK=1: every reachable list checked, problems and plans reported, nothing run."""

import hashlib
import os

from harness import HEAD, message, only

CHECK = {'UPDATER_CHECK': '1'}


def tree(sb):
    """Every path of the sandbox but the log, with the bytes of each file."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(sb.root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            if path == sb.log:
                continue
            with_bytes = os.path.isfile(path) and not os.path.islink(path)
            found[os.path.relpath(path, sb.root)] = (
                hashlib.sha256(open(path, 'rb').read()).hexdigest() if with_bytes else 'dir')
    return found


def problems(result):
    return [(p['proc'], p['key'], p['severity']) for p in result.of('problem')]


def case_check_of_a_clean_script_plans_each_procedure_once_and_changes_nothing(sb):
    sb.write('src/a.dll', 'new')
    sb.write('app/a.dll', 'old')
    sb.write('old/x.tmp', 'x')
    sb.script(HEAD % 'Have, Outer, Done' +
              '[Have]\nMODE=EXIST\nFILE=<Src>\\app\\a.dll\n' +
              '[Outer]\nMODE=SWITCH\nPROC=Have\n0=Make, Inner\n1=Inner\n' +
              '[Make]\nMODE=MAKEDIR\nDIR=<Src>\\made\n' +
              '[Inner]\nMODE=SWITCH\nPROC=Make\n0=Wipe\n1=Copy, Run\n' +
              '[Wipe]\nMODE=DELETE\nFILE=<Src>\\old\\x.tmp\n' +
              '[Copy]\nMODE=COPY\nFROM=<Src>\\src\\..\\src\\a.dll\nTO=<Src>\\app\\a.dll\n' +
              '[Run]\nMODE=LAUNCH\nFILE=<Src>\\app\\a.dll\nPARAM=\nISWAIT=1\n' +
              '[Done]\nMODE=MSGBOX\nFLAG=Have,1\nTYPE=INFORMATION\nTEXT=done\nISABORT=0,0\n')
    before = tree(sb)
    for answers in ('', None):
        result = sb.run(env=CHECK, answers=answers)
        assert (result.exit_code, result.result, problems(result)) == (0, 'done', []), result
        assert [p['proc'] for p in result.of('plan')] == [
            'Have', 'Outer', 'Make', 'Inner', 'Wipe', 'Copy', 'Run', 'Done'], result
        assert result.boxes == [] and result.procs == [] and sb.records() == [], result
        copy = result.of('plan')[5]
        assert copy['values'] == {'FROM': sb.epath('src', 'a.dll'),
                                  'TO': sb.epath('app', 'a.dll')}, result
        if sb.platform.name == 'native':
            assert 'COPY %s -> %s' % (sb.epath('src', 'a.dll'), sb.epath('app', 'a.dll')) in \
                result.stderr, result
        assert tree(sb) == before


def case_check_reports_every_problem_in_three_branch_levels(sb):
    sb.script(HEAD % 'Copy, Top' +
              '[Copy]\nMODE=COPY\nFROM=<Src>\\a\n' +
              '[Top]\nMODE=SWITCH\nPROC=Copy\n0=Odd, Mid\n1=\n' +
              '[Odd]\nMODE=COPYY\n' +
              '[Mid]\nMODE=SWITCH\nPROC=Nobody\n0=Empty\n1=Ghost, Box\n' +
              '[Empty]\nMODE=MAKEDIR\nDIR=\n' +
              '[Box]\nMODE=MSGBOX\nFLAG=\nTYPE=NOTICE\nTEXT=x\nISABORT=0,0\n')
    result = sb.run(env=CHECK)
    assert problems(result) == [
        ('Copy', 'TO', 'error'), ('Odd', 'MODE', 'error'), ('Mid', 'PROC', 'error'),
        ('Empty', 'DIR', 'error'), ('Ghost', '', 'error'), ('Box', 'TYPE', 'error')], result
    texts = [p['text'] for p in result.of('problem')]
    assert texts[0] == 'the key is missing or too long: loading stops here (message 2)', result
    assert texts[1] == '"COPYY" names no kind of procedure (message 6)', result
    assert texts[3] == 'the list is empty: the procedure stops here (message 4)', result
    assert (result.exit_code, result.result, result.boxes) == (1, 'error', []), result
    # Plans and problems come in the order the check meets them.
    kinds = [(e['event'], e['proc']) for e in result.events if e['event'] in ('plan', 'problem')]
    assert kinds.index(('plan', 'Top')) < kinds.index(('problem', 'Odd')) < \
        kinds.index(('problem', 'Empty')) < kinds.index(('problem', 'Box')), result


def case_check_reports_a_cycle_and_a_flag_naming_nothing(sb):
    sb.script(HEAD % 'Ask, Again' +
              '[Ask]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=retry?\nISABORT=0,0\n' +
              '[Again]\nMODE=SWITCH\nPROC=Ask\n0=\n1=Ask, Again\n')
    looped = sb.run(env=CHECK, answers=None)
    assert problems(looped) == [('Again', '1', 'warning')], looped
    assert [p['proc'] for p in looped.of('plan')] == ['Ask', 'Again'], looped
    assert (looped.exit_code, looped.result, looped.boxes) == (0, 'done', []), looped
    # A chain without a cycle but deeper than a run can nest stops where the run would.
    chain = ''.join('[S%d]\nMODE=SWITCH\nPROC=S%d\n0=S%d\n1=\n' % (i, i, i + 1) for i in range(70))
    deep = sb.run(env=CHECK) if sb.script(HEAD % 'S0' + chain) is None else None
    assert problems(deep) == [('S63', '', 'error')], deep
    assert deep.of('problem')[0]['text'] == \
        'branches nest deeper than a run allows here (message 6)' and deep.exit_code == 1, deep
    sb.script(HEAD % 'Ask' +
              '[Ask]\nMODE=MSGBOX\nFLAG= Nobody ,1\nTYPE=ERROR\nTEXT=x\nISABORT=0,0\n')
    flagged = sb.run(env=CHECK)
    assert problems(flagged) == [('Ask', 'FLAG', 'error')], flagged
    assert flagged.of('problem')[0]['text'] == \
        '"Nobody ,1" names no procedure of the list it stands in (message 6)', flagged
    assert (flagged.exit_code, flagged.result, flagged.boxes) == (1, 'error', []), flagged


def case_check_warns_of_what_may_be_meant(sb):
    sb.script(HEAD % 'Look' + '[Look]\nMODE=EXIST\nFILE=<Nowhere>\\tool.dll\n')
    result = sb.run(env=CHECK)
    assert problems(result) == [('Look', 'FILE', 'warning')], result
    assert (result.exit_code, result.result) == (0, 'done'), result
    assert result.of('plan')[0]['values'] == {'FILE': '<Nowhere>\\tool.dll'}, result


@only('native')
def case_check_warns_of_drive_letters_on_linux(sb):
    sb.script(HEAD % 'Put' + '[Put]\nMODE=COPY\nFROM=C:\\a, <Src>\\b\nTO=d:\\x, <Src>\\c\n')
    result = sb.run(env=CHECK)
    assert problems(result) == [('Put', 'FROM', 'warning'), ('Put', 'TO', 'warning')], result
    assert result.exit_code == 0, result


def case_check_reports_load_errors_of_the_updater_section(sb):
    missing = sb.run(env=CHECK)
    assert problems(missing) == [('UPDATER', '', 'error')], missing
    assert missing.of('problem')[0]['text'] == message(1, sb.epath('setup.ini')) or \
        missing.exit_code == 1, missing
    sb.script('[UPDATER]\n')
    empty = sb.run(env=CHECK)
    assert problems(empty) == [('UPDATER', 'NAME', 'error'), ('UPDATER', 'PROC', 'error')], empty
    assert (empty.exit_code, empty.result, empty.boxes) == (1, 'error', []), empty
