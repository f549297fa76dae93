"""Start-up: caption, settings file, [UPDATER], exit codes."""

from harness import DEFAULT_CAPTION, ERROR_STYLE, message


def error_box(result):
    assert len(result.boxes) == 1, result
    box = result.boxes[0]
    assert box['style'] == ERROR_STYLE, result
    return box


def case_missing_settings_file_shows_message_1_under_default_caption(sb):
    result = sb.run()
    box = error_box(result)
    assert box['text'] == message(1, sb.epath('setup.ini')), result
    assert box['caption'] == DEFAULT_CAPTION, result
    assert result.start['settings'] == sb.epath('setup.ini'), result
    assert (result.exit_code, result.result) == (1, 'error'), result


def case_caption_switch_forms(sb):
    for args, caption in [(['/tSetup'], 'Setup'), (['-tSetup'], 'Setup'),
                          (['/t"Setup Tool"'], 'Setup Tool'), (['-tOne', '/tTwo'], 'Two'),
                          (['/t', 'Setup'], ''), (['/TSetup'], DEFAULT_CAPTION),
                          (['C:/temp', 'x'], 'emp')]:
        result = sb.run(args)
        assert error_box(result)['caption'] == caption, (args, result)


def case_missing_name_or_proc_shows_message_2(sb):
    sb.script('[UPDATER]\nPROC=A\n')
    box = error_box(sb.run(['/tBox']))
    assert box['text'] == message(2, 'UPDATER', 'NAME')
    assert box['caption'] == 'Box'
    sb.script('[UPDATER]\nNAME=Tool\n')
    assert error_box(sb.run())['text'] == message(2, 'UPDATER', 'PROC')
    sb.script('[OTHER]\nNAME=Tool\n')
    assert error_box(sb.run())['text'] == message(2, 'UPDATER', 'NAME')


def case_empty_proc_shows_message_4_under_name(sb):
    sb.script('[UPDATER]\nNAME=Tool Setup\nPROC=\n')
    result = sb.run(['/tIgnored'])
    box = error_box(result)
    assert box['text'] == message(4, 'UPDATER', 'PROC')
    assert box['caption'] == 'Tool Setup'
    assert result.exit_code == 1


def case_empty_name_keeps_switch_caption(sb):
    sb.script('[UPDATER]\nNAME=\nPROC=Nowhere\n')
    box = error_box(sb.run(['/tSwitch']))
    assert box['caption'] == 'Switch'
    assert box['text'] == message(2, 'Nowhere', 'MODE')


def case_successful_run_exits_0_and_logs_every_event(sb):
    sb.script('[UPDATER]\nNAME=Tool\nPROC=Check\n[Check]\nMODE=OSVER\n')
    result = sb.run()
    assert result.exit_code == 0, result
    assert [e['event'] for e in result.events] == ['start', 'proc', 'end'], result
    assert result.procs[0] == {'event': 'proc', 'name': 'Check', 'mode': 'OSVER', 'ok': True,
                               'flag': True}, result
    assert result.start['caption'] == DEFAULT_CAPTION
    assert result.result == 'done'


def case_attended_run_exits_0_even_on_error(sb):
    # No answer list: the box is put to the user; with no display and no terminal it goes to
    # standard error and takes its default button.
    result = sb.run(answers=None)
    assert result.exit_code == 0, result
    assert result.result == 'error', result
    assert 'ファイルが見つかりません' in result.stderr or result.boxes[0]['answer'] in (0, 1)


def case_settings_file_of_program_without_extension(sb):
    # A program without an extension reads its name plus ".ini", also in a dotted directory.
    import os
    import shutil
    from harness import Sandbox
    if sb.platform.name != 'native':
        return
    os.makedirs(sb.path('tool.d'))
    program = sb.path('tool.d', 'setup')
    shutil.copy2(sb.program, program)
    sb.program = program
    with open(sb.path('tool.d', 'setup.ini'), 'w') as f:
        f.write('[UPDATER]\nNAME=Dotted\nPROC=A\n[A]\nMODE=OSVER\n')
    result = sb.run()
    assert result.start['settings'] == sb.epath('tool.d', 'setup.ini'), result
    assert result.exit_code == 0, result
