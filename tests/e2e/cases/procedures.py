"""Loading and running procedure lists, SWITCH branches."""

from harness import HEAD, message

def case_proc_names_are_trimmed_and_run_in_order(sb):
    sb.script(HEAD % ' A , B ' + '[A]\nMODE=OSVER\n[B]\nMODE=osver\n')
    result = sb.run()
    assert [p['name'] for p in result.procs] == ['A', 'B'], result
    assert result.exit_code == 0


def case_empty_name_in_list_stops_before_anything_runs(sb):
    for proc in ['A,,B', 'A,B,']:
        sb.script(HEAD % proc + '[A]\nMODE=OSVER\n[B]\nMODE=OSVER\n')
        result = sb.run()
        assert [b['text'] for b in result.boxes] == [message(2, '', 'MODE')], result
        assert result.procs == [], result


def case_unknown_mode_in_third_section_stops_the_load(sb):
    sb.script(HEAD % 'A,B,C' + '[A]\nMODE=OSVER\n[B]\nMODE=OSVER\n[C]\nMODE=FROBNICATE\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(6, 'FROBNICATE')], result
    assert result.procs == [] and result.exit_code == 1


def case_kind_built_since_reads_its_own_keys(sb):
    sb.script(HEAD % 'A' + '[A]\nMODE=verify\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(2, 'A', 'ARG1')], result


def case_switch_takes_branch_by_flag(sb):
    sb.script(HEAD % 'Has, Missing, OnHas, OnMissing' +
              '[Has]\nMODE=EXIST\nFILE=<Src>\\setup.ini\n'
              '[Missing]\nMODE=EXIST\nFILE=<Src>\\nothing.txt\n'
              '[OnHas]\nMODE=SWITCH\nPROC= Has \n0=Zero\n1=One\n'
              '[OnMissing]\nMODE=SWITCH\nPROC=Missing\n0=Zero\n1=One\n'
              '[Zero]\nMODE=OSVER\n[One]\nMODE=OSVER\n')
    result = sb.run()
    names = [p['name'] for p in result.procs]
    assert names == ['Has', 'Missing', 'One', 'OnHas', 'Zero', 'OnMissing'], result
    assert result.proc('Has')[0]['flag'] is True
    assert result.proc('Missing')[0]['flag'] is False
    assert result.proc('OnHas')[0]['flag'] is False


def case_switch_on_later_procedure_takes_0_branch(sb):
    sb.script(HEAD % 'S, Has' + '[Has]\nMODE=EXIST\nFILE=<Src>\\setup.ini\n'
              '[S]\nMODE=SWITCH\nPROC=Has\n0=Zero\n1=\n[Zero]\nMODE=OSVER\n')
    result = sb.run()
    assert [p['name'] for p in result.procs] == ['Zero', 'S', 'Has'], result


def case_switch_with_empty_branch_goes_on(sb):
    sb.script(HEAD % 'Os, S, After' + '[Os]\nMODE=OSVER\n[S]\nMODE=SWITCH\nPROC=Os\n0=X\n1=\n'
              '[After]\nMODE=OSVER\n')
    result = sb.run()
    assert [p['name'] for p in result.procs] == ['Os', 'S', 'After'], result
    assert result.exit_code == 0


def case_switch_cannot_see_enclosing_list(sb):
    sb.script(HEAD % 'Os, S, After' + '[Os]\nMODE=OSVER\n[S]\nMODE=SWITCH\nPROC=Os\n0=\n1=Inner\n'
              '[Inner]\nMODE=SWITCH\nPROC=Os \n0=\n1=\n[After]\nMODE=OSVER\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(6, 'Os')], result
    assert 'After' not in [p['name'] for p in result.procs]
    assert result.exit_code == 1


def case_switch_missing_key_fails_load(sb):
    sb.script(HEAD % 'S' + '[S]\nMODE=SWITCH\nPROC=S\n0=\n')
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(2, 'S', '1')], result


def case_switch_loop_is_bounded_with_one_box(sb):
    sb.script(HEAD % 'Loop' + '[Loop]\nMODE=SWITCH\nPROC=Loop\n0=Loop\n1=Loop\n')
    result = sb.run(timeout=60)
    assert [b['text'] for b in result.boxes] == [message(6, 'Loop')], result
    assert result.exit_code == 1 and result.result == 'error'


def case_same_section_twice_loads_two_records(sb):
    sb.script(HEAD % 'E, E, S' + '[E]\nMODE=EXIST\nFILE=<Src>\\setup.ini\n'
              '[S]\nMODE=SWITCH\nPROC=e\n0=\n1=One\n[One]\nMODE=OSVER\n')
    result = sb.run()
    assert [p['name'] for p in result.procs] == ['E', 'E', 'One', 'S'], result
