"""Roots, ".." past the top, devices and links out of a tree: scripts that would destroy what they
did not name if the file procedures let them. Every case runs in a throwaway root and checks that
everything it did not name survived byte for byte.

The program is three levels deep (/opt/tool/bin, on Windows D:\\opt\\tool\\bin), so six ".." after
<Src> fold back to its root and leave three past it."""

from harness import message, only
from throwaway_root import (FIFO, SOCKET, describe_changes, file, hard_link, link,
                            root_sandbox)

HEAD = '[UPDATER]\nNAME=Tool\nPROC=P\n[DEFINE]\n<Empty>=\n[P]\n'
PAYLOAD = {
    '/opt/tool/bin/payload/a.txt': file('new a\n'),
    '/opt/tool/bin/payload/b.txt': file('new b\n'),
    '/opt/tool/bin/payload/sub/c.dll': file(b'MZ\x90\x00 new c'),
}


def refusal_fault(box, script, text, files=None, cwd='/home/user', allowed=(), env=None):
    """What went wrong in a run whose one procedure must fail with `text` before it touches
    anything (but the allowed places); None when nothing did."""
    result = box.run(HEAD + script, files=files, cwd=cwd, env=env)
    wrong = []
    if result.texts != [text]:
        wrong.append('boxes %r' % result.texts)
    if (result.exit_code, result.result) != (1, 'error'):
        wrong.append('exit %s%s, result %s' % (
            result.exit_code, ' (timed out)' if result.timed_out else '', result.result))
    if result.changes(allowed):
        wrong.append(describe_changes(result.changes(allowed), limit=4))
    return '; '.join(wrong) or None


def all_refused(box, runs, env=None):
    """Runs every (script, expected text, files, working directory[, allowed places]) and
    reports all that were not refused cleanly at once."""
    faults = []
    for script, text, files, cwd, *allowed in runs:
        fault = refusal_fault(box, script, text, files, cwd, *allowed, env=env)
        if fault:
            faults.append('%s(in %s, expected %r)\n    %s' % (
                script.replace('\n', ' '), cwd, text, fault.replace('\n', '\n    ')))
    assert not faults, '%d of %d runs not refused cleanly:\n%s' % (
        len(faults), len(runs), '\n'.join(faults))


def deletes_refused(box, items, cwd='/home/user', files=None):
    all_refused(box, [('MODE=DELETE\nFILE=%s\n' % item, message(10, shown), files, cwd)
                      for item, shown in items])


def both(mode, source, target, shown_source=None, shown_target=None):
    """The script and the expected message of a COPY or MOVE."""
    return ('MODE=%s\nFROM=%s\nTO=%s\n' % (mode, source, target),
            message(8 if mode == 'COPY' else 14, source if shown_source is None else shown_source,
                    target if shown_target is None else shown_target))


@root_sandbox
def case_delete_refuses_every_spelling_of_the_root(box):
    top = box.top
    items = [('<Src>\\..\\..\\..\\..\\..\\..', top + '\\..\\..\\..'),
             ('\\.', '\\.'), ('\\..', '\\..'), ('\\.\\*', '\\.\\*'), ('\\..\\*', '\\..\\*'),
             ('\\\\.\\*', '\\\\.\\*'), ('<Empty>\\.', '\\.'), ('\\.\\.', '\\.\\.'),
             ('\\.\\tmp\\..', '\\.')]
    if box.native:
        # Linux splits at a slash, which the folding of ".." never sees; "//" is "/".
        items += [('\\tmp/..', '\\tmp/..'), ('\\tmp/../*', '\\tmp/../*'), ('\\\\', '\\\\'),
                  ('\\\\*', '\\\\*')]
    else:
        # Windows drops the trailing dots and spaces of a name: "D:\..." is "D:\".
        items += [('D:\\.', 'D:\\.'), ('D:\\.\\*', 'D:\\.\\*'), ('D:\\..\\*', 'D:\\..\\*'),
                  ('<Src>\\..\\..\\..\\..', 'D:\\..'), ('D:\\...', 'D:\\...'),
                  ('D:\\.. .', 'D:\\.. .'), ('\\\\?\\D:\\*', '\\\\?\\D:\\*'),
                  ('\\\\.\\D:\\*', '\\\\.\\D:\\*'), ('\\\\?\\D:\\', '\\\\?\\D:\\')]
    deletes_refused(box, items)


@root_sandbox
def case_delete_refuses_wildcards_directly_in_the_root(box):
    top = box.top
    deletes_refused(box, [(top + '\\*', top + '\\*'), (top + '\\*.*', top + '\\*.*'),
                          ('<Empty>\\*', '\\*'), ('\\?*', '\\?*'), ('\\*.txt', '\\*.txt'),
                          ('<Src>\\..\\..\\..\\*', top + '\\*'), ('\\..\\..\\*', '\\*')])


@root_sandbox
def case_delete_refuses_the_working_directory_when_it_is_the_root(box):
    items = [('.', '.'), ('.\\*', '.\\*'), ('*', '*'), ('*.*', '*.*'), ('..', '..'),
             ('..\\*', '..\\*'), ('.\\', '.\\')]
    if not box.native:
        items += [('D:', 'D:'), ('D:*', 'D:*'), ('D:.', 'D:.')]
    deletes_refused(box, items, cwd='/')


@root_sandbox
def case_delete_refuses_relative_paths_that_climb_to_the_root(box):
    deletes_refused(box, [('..\\..', '..\\..'), ('..\\..\\*', '..\\..\\*')])


@root_sandbox
def case_delete_refuses_the_root_reached_through_a_link(box):
    items = [(box.epath(p), box.epath(p)) for p in ['/home/user/up/*', '/home/user/up/.']]
    if box.native:
        items += [('\\proc\\self\\root\\*', '\\proc\\self\\root\\*')]
    deletes_refused(box, items, files={'/home/user/up': link('../..')})


@only('native')
@root_sandbox
def case_special_folders_that_are_the_root_are_refused(box):
    """A service's home directory is often "/": the profile and application-data folders are
    then the root, and a script's "{?SpFolder\\0x28}\\*" names everything in it."""
    env = {'HOME': '/', 'XDG_CONFIG_HOME': '/', 'XDG_DATA_HOME': '/'}
    runs = [('MODE=DELETE\nFILE=%s\n' % item, message(10, shown), None, '/home/user')
            for item, shown in [('{?SpFolder\\0x28}\\*', '\\*'), ('{?SpFolder\\0x1a}\\*', '\\*'),
                                ('{?SpFolder\\0x1c}\\.', '\\.')]]
    runs += [both(mode, box.src + '\\payload', '{?SpFolder\\0x28}\\.', shown_target='\\.') +
             (PAYLOAD, '/home/user') for mode in ['COPY', 'MOVE']]
    all_refused(box, runs, env=env)


@root_sandbox
def case_delete_of_the_working_directory_contents_when_it_is_not_the_root(box):
    scratch = {'/home/user/scratch/one.tmp': file('1'), '/home/user/scratch/two.tmp': file('2'),
               '/home/user/scratch/sub/three.tmp': file('3')}
    result = box.run(HEAD + 'MODE=DELETE\nFILE=.\\*\n', files=scratch, cwd='/home/user/scratch')
    assert (result.exit_code, result.result, result.texts) == (0, 'done', []), result
    assert [p for p in result.after if p.startswith('/home/user/scratch/')] == [], result
    assert result.after['/home/user/scratch']['type'] == 'dir', result
    result.assert_untouched('/home/user/scratch')


@root_sandbox
def case_copy_and_move_refuse_a_root_as_target(box):
    top = box.top
    targets = [('<Empty>\\.', '\\.'), ('\\..', '\\..'), ('\\.', '\\.'), ('\\', '\\'),
               ('<Empty>\\*.txt', '\\*.txt'),
               ('<Src>\\..\\..\\..\\..\\..', top + '\\..\\..'), ('<Src>\\..\\..\\..', top)]
    if box.native:
        targets += [('\\tmp/..', '\\tmp/..')]
    else:
        targets += [('D:\\', 'D:\\'), ('D:', 'D:'), ('D:\\...', 'D:\\...')]
    all_refused(box, [both(mode, source, target, shown_target=shown) + (PAYLOAD, '/home/user')
                      for source in [box.src + '\\payload', box.src + '\\payload\\*.txt']
                      for target, shown in targets for mode in ['COPY', 'MOVE']])


@root_sandbox
def case_copy_and_move_refuse_a_relative_target_that_is_the_root(box):
    source = box.src + '\\payload'
    all_refused(box, [both(mode, source, target) + (PAYLOAD, cwd)
                      for target, cwd in [('..\\..', '/home/user'), ('.', '/'), ('..', '/'),
                                          ('.\\', '/')]
                      for mode in ['COPY', 'MOVE']])


@root_sandbox
def case_copy_and_move_refuse_the_root_as_source(box):
    target = box.src + '\\out'
    runs = [both('MOVE', source, target, shown_source=shown)
            for source, shown in [('\\.', '\\.'), ('\\*', '\\*'), ('\\', '\\'),
                                  ('<Empty>\\*.*', '\\*.*')]]
    # The root copied into a directory inside itself would never end.
    runs += [both('COPY', source, target) for source in ['\\.', '\\']]
    all_refused(box, [run + (None, '/home/user') for run in runs])


@root_sandbox
def case_attr_refuses_the_root(box):
    all_refused(box, [('MODE=ATTR\nFILE=%s\nARG=0x%02x\n' % (item, value),
                       message(12, shown, value), None, '/home/user')
                      for item, shown in [('\\*', '\\*'), ('\\.', '\\.'),
                                          ('<Empty>\\*.*', '\\*.*'), ('\\..\\*', '\\..\\*')]
                      for value in (0x01, 0x02)])


@root_sandbox
def case_a_named_file_in_the_root_is_not_a_root(box):
    top = box.top
    result = box.run(HEAD.replace('PROC=P', 'PROC=P, M, D, A') +
                     'MODE=COPY\nFROM=<Src>\\payload\\a.txt\nTO=%s\\x.ini\n'
                     '[M]\nMODE=MOVE\nFROM=<Src>\\payload\\b.txt\nTO=%s\\y.ini\n'
                     '[D]\nMODE=DELETE\nFILE=%s\\root.txt\n'
                     '[A]\nMODE=ATTR\nFILE=%s\\x.ini\nARG=0x01\n' % (top, top, top, top),
                     files=PAYLOAD)
    assert (result.exit_code, result.result, result.texts) == (0, 'done', []), result
    before, after = result.before, result.after
    assert after['/x.ini']['sha256'] == before['/opt/tool/bin/payload/a.txt']['sha256'], result
    assert after['/y.ini']['sha256'] == before['/opt/tool/bin/payload/b.txt']['sha256'], result
    assert '/root.txt' not in after and '/opt/tool/bin/payload/b.txt' not in after, result
    result.assert_untouched('/x.ini', '/y.ini', '/root.txt', '/opt/tool/bin/payload/b.txt')


@root_sandbox
def case_copy_and_move_onto_a_device_pipe_or_socket_fail_and_keep_it(box):
    if box.native:
        targets = ['\\dev\\null', '\\run\\pipe', '\\run\\socket']
    else:
        targets = ['NUL', 'D:\\x\\COM1', 'D:\\home\\user\\NUL']
    source = box.src + '\\payload\\a.txt'
    # The directory that the script names for COM1 may be made.
    all_refused(box, [both(mode, source, target) + (PAYLOAD, '/home/user', ['/x'])
                      for target in targets for mode in ['COPY', 'MOVE']])


@only('native')
@root_sandbox
def case_copy_and_move_of_a_tree_onto_a_pipe_fail_and_keep_it(box):
    files = dict(PAYLOAD)
    files['/home/user/dst/b.txt'] = FIFO
    files['/home/user/dst/sub/c.dll'] = SOCKET
    for mode in ['COPY', 'MOVE']:
        script, text = both(mode, box.src + '\\payload', '\\home\\user\\dst')
        result = box.run(HEAD + script, files=files, timeout=30)
        assert result.texts == [text], (mode, result)
        assert (result.exit_code, result.result) == (1, 'error'), (mode, result)
        # a.txt may have gone over before b.txt was met; the pipe, the socket and the files
        # meant for them stay.
        result.assert_untouched('/opt/tool/bin/payload/a.txt', '/home/user/dst/a.txt',
                                '/home/user/dst/sub', '/opt/tool/bin/payload/sub')
        for path in ['/home/user/dst/sub/c.dll', '/opt/tool/bin/payload/sub/c.dll']:
            assert result.after.get(path) == result.before[path], (mode, path, result)


def tree_with_links_out(box):
    """A tree holding links to a secret, to a system directory and to another program's
    directory, all outside it. Wine shows links to directories only (a link to a file looks like
    the file), so there the tree holds just those."""
    files = {'/home/user/tree/a.txt': file('inside the tree\n'),
             '/home/user/tree/etc': link('../../../etc'),
             '/home/user/tree/deep/other': link('../../../../opt/other')}
    if box.native:
        files['/home/user/tree/shadow'] = link('../../../etc/shadow')
    return files


def links_below(entries, top):
    return {p[len(top):]: e['target'] for p, e in entries.items()
            if p.startswith(top + '/') and e['type'] == 'link'}


def file_hashes_below(entries, top):
    return {e['sha256'] for p, e in entries.items()
            if p.startswith(top + '/') and e['type'] == 'file'}


@root_sandbox
def case_copy_of_a_tree_never_copies_what_its_links_lead_to(box):
    result = box.run(HEAD + 'MODE=COPY\nFROM=%s\nTO=%s\n' % (
        box.epath('/home/user/tree'), box.epath('/home/user/copy')),
        files=tree_with_links_out(box))
    result.assert_untouched('/home/user/copy')
    # The copy holds no bytes but those of the tree's own files.
    assert file_hashes_below(result.after, '/home/user/copy') <= \
        file_hashes_below(result.before, '/home/user/tree'), result
    if box.native:
        # Wine cannot make a link for the program: its CreateSymbolicLinkW makes nothing.
        assert (result.exit_code, result.result, result.texts) == (0, 'done', []), result
        assert links_below(result.after, '/home/user/copy') == \
            links_below(result.before, '/home/user/tree'), result


# Wine 8 lets a program see a link to a directory (as a reparse point) but not act on it as a
# link: RemoveDirectoryW and DeleteFileW refuse it, and MoveFileExW moves the directory it leads to.
# There a DELETE that meets such a link may fail but must leave what it leads to, and only a tree
# moved whole, under a new name, can take its links along.

@root_sandbox
def case_delete_of_a_tree_removes_its_links_only(box):
    for item in ['/home/user/tree', '/home/user/tree/*']:
        result = box.run(HEAD + 'MODE=DELETE\nFILE=%s\n' % box.epath(item),
                         files=tree_with_links_out(box))
        result.assert_untouched('/home/user/tree')
        if box.native:
            assert (result.exit_code, result.result, result.texts) == (0, 'done', []), \
                (item, result)
            assert [p for p in result.after if p.startswith('/home/user/tree/')] == [], result


# Wine 8 moves what a directory link leads to where Windows moves the link itself.
@only('native')
@root_sandbox
def case_move_of_a_tree_moves_its_links_as_links(box):
    runs = [{}]
    if box.native:
        runs.append({'/home/user/moved/keep.txt': file('already there\n')})
    for existing in runs:
        files = tree_with_links_out(box)
        files.update(existing)
        result = box.run(HEAD + 'MODE=MOVE\nFROM=%s\nTO=%s\n' % (
            box.epath('/home/user/tree'), box.epath('/home/user/moved')), files=files)
        result.assert_untouched('/home/user/tree', '/home/user/moved')
        assert (result.exit_code, result.result, result.texts) == (0, 'done', []), \
            (existing, result)
        assert '/home/user/tree' not in result.after, result
        assert links_below(result.after, '/home/user/moved') == \
            links_below(result.before, '/home/user/tree'), result
        for path in existing:
            assert result.after.get(path) == result.before[path], result


@root_sandbox
def case_copy_and_move_into_a_target_holding_a_link_out_leave_what_it_leads_to(box):
    """Where the source has a directory, the target holds a link to /etc: writing through it
    would overwrite files that the script never named."""
    files = dict(PAYLOAD)
    files['/opt/tool/bin/payload/sub/passwd'] = file('overwritten\n')
    files['/home/user/dst/sub'] = link('../../../etc')
    for mode in ['COPY', 'MOVE']:
        result = box.run(HEAD + both(mode, box.src + '\\payload', box.epath('/home/user/dst'))[0],
                         files=files)
        result.assert_untouched('/home/user/dst', '/opt/tool/bin/payload')


@only('native')
@root_sandbox
def case_copy_and_move_over_a_link_to_a_file_outside_leave_that_file(box):
    files = dict(PAYLOAD)
    files['/home/user/dst/a.txt'] = link('../../../etc/shadow')
    files['/home/user/dst/b.txt'] = link('../../../etc/passwd')
    for script in ['MODE=COPY\nFROM=<Src>\\payload\\a.txt\nTO=\\home\\user\\dst\\a.txt\n',
                   'MODE=COPY\nFROM=<Src>\\payload\\*.txt\nTO=\\home\\user\\dst\\*.txt\n',
                   'MODE=COPY\nFROM=<Src>\\payload\nTO=\\home\\user\\dst\n',
                   'MODE=MOVE\nFROM=<Src>\\payload\\b.txt\nTO=\\home\\user\\dst\\b.txt\n']:
        result = box.run(HEAD + script, files=files)
        result.assert_untouched('/home/user/dst', '/opt/tool/bin/payload')


@only('native')
@root_sandbox
def case_attr_on_links_leaves_what_they_lead_to(box):
    for item in ['\\home\\user\\tree\\*', '\\home\\user\\tree\\shadow', '\\home\\user\\tree\\etc']:
        for value in ('0x01', '0x00', '0x02'):
            result = box.run(HEAD + 'MODE=ATTR\nFILE=%s\nARG=%s\n' % (item, value),
                             files=tree_with_links_out(box))
            result.assert_untouched('/home/user/tree')


@root_sandbox
def case_wildcards_matching_dot_entries_never_reach_the_parent(box):
    """".*" and ".?" match the "." and ".." of a directory listing; following them would act on
    the directory itself and on its parent."""
    files = {'/home/user/docs/.hidden': file('hidden\n'), '/home/user/docs/.x': file('x\n')}
    docs, out = box.epath('/home/user/docs'), box.epath('/home/user/out\\')
    hidden, x = '/home/user/docs/.hidden', '/home/user/docs/.x'
    for script, allowed in [
            ('MODE=DELETE\nFILE=%s\\.*\n' % docs, [hidden, x]),
            ('MODE=DELETE\nFILE=%s\\.?\n' % docs, [x]),
            ('MODE=ATTR\nFILE=%s\\.*\nARG=0x01\n' % docs, [hidden, x]),
            ('MODE=COPY\nFROM=%s\\.*\nTO=%s\n' % (docs, out), ['/home/user/out']),
            ('MODE=MOVE\nFROM=%s\\.*\nTO=%s\n' % (docs, out), ['/home/user/out', hidden, x])]:
        result = box.run(HEAD + script, files=files)
        assert (result.exit_code, result.result, result.texts) == (0, 'done', []), (script, result)
        result.assert_untouched(*allowed)
        copied = {p for p in result.after if p.startswith('/home/user/out/')}
        assert copied <= {'/home/user/out/.hidden', '/home/user/out/.x'}, (script, result)


@only('native')
@root_sandbox
def case_copy_and_move_onto_a_hard_link_leave_its_other_names(box):
    """A target file that is another name of a system file: replacing the target must not write
    into the file they share."""
    files = dict(PAYLOAD)
    files['/home/user/dst/a.txt'] = hard_link('/etc/passwd')
    files['/home/user/dst/b.txt'] = hard_link('/etc/shadow')
    for script in ['MODE=COPY\nFROM=<Src>\\payload\\a.txt\nTO=\\home\\user\\dst\\a.txt\n',
                   'MODE=COPY\nFROM=<Src>\\payload\nTO=\\home\\user\\dst\n',
                   'MODE=MOVE\nFROM=<Src>\\payload\nTO=\\home\\user\\dst\n']:
        result = box.run(HEAD + script, files=files)
        result.assert_untouched('/home/user/dst', '/opt/tool/bin/payload')
