"""The refused path, the system's error number and its text in the failed procedure's log event."""

from harness import HEAD, only, texts

# errno on Linux, GetLastError under Wine
ACCESS_DENIED = {'native': (13, 'Permission denied'), 'wine': (5, 'Access denied.')}
NOT_A_DIRECTORY = {'native': (20, 'Not a directory'), 'wine': (3, 'Path not found.')}
LOCK = '[Lock]\nMODE=ATTR\nFILE=<Src>\\%s\nARG=0x01\n'


def run_failing(sb, procedures, item, expected):
    sb.script(HEAD % procedures)
    result = sb.run()
    code, reason = expected[sb.platform.name]
    assert len(texts(result)) == 1 and result.procs[-1] == dict(
        result.procs[-1], ok=False, item=sb.epath(*item), code=code, reason=reason), result
    assert all('item' not in p for p in result.procs[:-1]), result


@only('native')  # Wine copies over a read-only file where Windows refuses
def case_copy_onto_a_read_only_file_names_the_destination(sb):
    sb.write('src/a.dll', 'new')
    sb.write('app/a.dll', 'old')
    run_failing(sb, 'Lock, C\n' + LOCK % 'app\\a.dll' +
                '[C]\nMODE=COPY\nFROM=<Src>\\src\\a.dll\nTO=<Src>\\app\\a.dll\n',
                ('app', 'a.dll'), ACCESS_DENIED)


def case_delete_of_a_read_only_file_and_makedir_under_a_file_name_the_refused_path(sb):
    sb.write('locked.txt', 'locked')
    run_failing(sb, 'Lock, D\n' + LOCK % 'locked.txt' + '[D]\nMODE=DELETE\nFILE=<Src>\\locked.txt\n',
                ('locked.txt',), ACCESS_DENIED)
    run_failing(sb, 'M\n[M]\nMODE=MAKEDIR\nDIR=<Src>\\locked.txt\\sub\n', ('locked.txt', 'sub'),
                NOT_A_DIRECTORY)


def case_a_failure_the_program_decides_names_no_refused_path(sb):
    sb.script(HEAD % 'Lock' + LOCK % 'none.dll')
    result = sb.run()
    assert result.procs[0]['ok'] is False and 'code' not in result.procs[0], result
