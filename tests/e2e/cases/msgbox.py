"""MSGBOX: conditions, box types, answers, ISABORT."""

from harness import HEAD, message

def box(name, flag, kind, text, isabort):
    return '[%s]\nMODE=MSGBOX\nFLAG=%s\nTYPE=%s\nTEXT=%s\nISABORT=%s\n' % (
        name, flag, kind, text, isabort)


def case_box_types_styles_and_escapes(sb):
    sb.script(HEAD % 'E, I, W, Q' + box('E', '', 'error', 'one%ntwo', '0,0') +
              box('I', 'single', 'Information', 'a%tb', '0,0') + box('W', '', 'WARNING', 'w', '') +
              box('Q', '', 'QuEsTiOn', 'q%n%t', '0,0'))
    result = sb.run()
    assert [(b['style'], b['text'], b['answer'], b['caption']) for b in result.boxes] == [
        (16, 'one\ntwo', 1, 'Tool'), (64, 'a\tb', 1, 'Tool'), (308, 'w', 7, 'Tool'),
        (36, 'q\n\t', 6, 'Tool')], result
    assert [p['flag'] for p in result.procs] == [True, True, False, True], result
    assert result.exit_code == 0


def case_condition_on_earlier_flag(sb):
    sb.script(HEAD % 'Missing, Shown, Hidden, Never' +
              '[Missing]\nMODE=EXIST\nFILE=<Src>\\nothing\n' +
              box('Shown', 'Missing, 0', 'INFORMATION', 'shown', '0,0') +
              box('Hidden', 'Missing,1', 'INFORMATION', 'hidden', '0,0') +
              box('Never', 'Missing,2', 'BOGUS', 'never', '0,0'))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == ['shown'], result
    assert [(p['name'], p['flag']) for p in result.procs] == [
        ('Missing', False), ('Shown', True), ('Hidden', False), ('Never', False)], result


def case_condition_naming_nothing_shows_message_6(sb):
    sb.script(HEAD % 'B' + box('B', 'Nobody,1', 'INFORMATION', 'x', '0,0'))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(6, 'Nobody,1')], result
    assert result.exit_code == 1


def case_unknown_type_shows_message_6(sb):
    sb.script(HEAD % 'B' + box('B', '', 'NOTICE', 'x', '0,0'))
    result = sb.run()
    assert [b['text'] for b in result.boxes] == [message(6, 'NOTICE')], result


def case_isabort_on_answers(sb):
    script = HEAD % 'Q, After' + box('Q', '', 'QUESTION', 'go on?', '0,1') + '[After]\nMODE=OSVER\n'
    sb.script(script)
    yes = sb.run(answers='yes')
    assert [p['name'] for p in yes.procs] == ['Q', 'After'] and yes.exit_code == 0, yes
    no = sb.run(answers=' No ')
    assert [p['name'] for p in no.procs] == ['Q'], no
    assert (no.exit_code, no.result, len(no.boxes)) == (2, 'aborted', 1), no
    sb.script(HEAD % 'E, After' + box('E', '', 'ERROR', 'stop', '1,0') + '[After]\nMODE=OSVER\n')
    stopped = sb.run()
    assert (stopped.exit_code, stopped.result) == (2, 'aborted'), stopped
    assert stopped.procs[0]['flag'] is True


def case_answers_that_do_not_fit_take_the_default(sb):
    sb.script(HEAD % 'W, Q, I' + box('W', '', 'WARNING', 'w', '0,0') +
              box('Q', '', 'QUESTION', 'q', '0,0') + box('I', '', 'INFORMATION', 'i', '0,0'))
    result = sb.run(answers='ok,YES,no')
    assert [b['answer'] for b in result.boxes] == [7, 6, 1], result


def case_single_isabort_item_never_stops_on_no(sb):
    sb.script(HEAD % 'W, After' + box('W', '', 'WARNING', 'w', '1') + '[After]\nMODE=OSVER\n')
    result = sb.run(answers='no')
    assert [p['name'] for p in result.procs] == ['W', 'After'], result
