"""Symbols, functions and ".." folding in values, seen through MSGBOX texts."""

import os
import shutil
import uuid

from harness import Sandbox, only

HEAD = '[UPDATER]\nNAME=Tool\nPROC=Show\n'


def shown(sb, text, args=(), defines='', started_as=None):
    """The text that a box shows for TEXT=`text`."""
    sb.script(HEAD + '[DEFINE]\n' + defines +
              '[Show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=%s\nISABORT=0,0\n' % text)
    result = sb.run(args, started_as=started_as)
    assert len(result.boxes) == 1, result
    return result.boxes[0]['text']


def case_symbols_defines_and_folding(sb):
    defines = ('<Data>=<Src>\\Data\n<Base>=<Src>\\..\n<Later>=<Early>\\x\n<Early>=<Src>\n'
               '<Eq>=a=b\n<WIN>=D:\\Other\n<Twice>=first\n<twice>=second\n')
    assert shown(sb, '<data>', defines=defines) == sb.src + '\\Data'
    assert shown(sb, '<Base>', defines=defines) == sb.platform.engine_path(os.path.dirname(sb.root))
    # <Later> holds <Early> as written; its inserted reference uses up the second pass.
    assert shown(sb, '<Later>|<Early>', defines=defines) == sb.src + '\\x|<Early>'
    assert shown(sb, '[<Eq>]', defines=defines) == '[a]'
    assert shown(sb, '<Win>', defines=defines) == sb.platform.windows_directory
    assert shown(sb, '<TWICE>', defines=defines) == 'first'
    assert shown(sb, '<Nothing> and <Eq>', defines=defines) == '<Nothing> and a'
    assert shown(sb, '> <Eq>', defines=defines) == '> <Eq>'
    assert shown(sb, 'D:\\X\\..\\Y\\..\\Z') == 'D:\\Y\\..\\Z'
    assert shown(sb, 'D:\\Tools\\App\\..\\Data') == 'D:\\Tools\\Data'


def case_base_of_program_one_level_down(sb):
    os.makedirs(sb.path('Tool', 'Bin'))
    program = sb.path('Tool', 'Bin', os.path.basename(sb.program))
    shutil.copy2(sb.program, program)
    sb.program = program
    sb.settings = os.path.splitext(program)[0] + '.ini'
    assert shown(sb, '<Base>', defines='<Base>=<Src>\\..\n') == sb.epath('Tool')


def case_param_words_and_ranges(sb):
    args = ['first', 'two words', 'last']
    assert shown(sb, '[{?Param\\0}]', args) == '[first]'
    assert shown(sb, '[{?Param\\1}]', args) == '[two words]'
    assert shown(sb, '[{?Param\\-1}]', args) == '[last]'
    assert shown(sb, '[{?Param\\0\\-1}]', args) == '[first, two words, last]'
    assert shown(sb, '[{?Param\\-2\\-1}]', args) == '[two words, last]'
    assert shown(sb, '[{?Param\\7}]', args) == '[]'
    assert shown(sb, '[{?Param\\2\\1}]', args) == '[]'
    assert shown(sb, '[{?PARAM\\x}]', args) == '[first]'


def case_app_paths_found_and_not_found(sb):
    name = 'tool-%s.exe' % uuid.uuid4().hex[:8]
    sb.platform.register_app(sb, name, 'C:\\Tools\\' + name, 'C:\\Tools\\;')
    other = 'nopath-%s.exe' % uuid.uuid4().hex[:8]
    sb.platform.register_app(sb, other, 'C:\\Other\\' + other)
    assert shown(sb, '{?App\\%s}' % name) == 'C:\\Tools\\' + name
    assert shown(sb, '{?AppPath\\%s}' % name) == 'C:\\Tools\\'
    assert shown(sb, '{?AppPath\\%s}' % other) == '{?AppPath\\%s}' % other
    assert shown(sb, '{?App\\missing.exe}') == '{?App\\missing.exe}'
    assert shown(sb, '} {?App\\%s}' % name) == '} {?App\\%s}' % name


def case_special_folders_by_hex_id(sb):
    env = {}
    if sb.platform.name == 'native':
        env = {'HOME': sb.root, 'XDG_CONFIG_HOME': sb.path('config'),
               'XDG_CONFIG_DIRS': '', 'XDG_DATA_HOME': sb.path('data')}
    sb.extra_env.update(env)
    appdata = shown(sb, '{?SpFolder\\0x1a}')
    desktop = shown(sb, '{?SpFolder\\26}')
    unknown = shown(sb, '{?SpFolder\\0x7777}')
    assert unknown == '{?SpFolder\\0x7777}'
    assert appdata and desktop and appdata != desktop
    assert not appdata.endswith('\\') and '{' not in appdata
    if sb.platform.name == 'native':
        assert appdata == sb.epath('config')
        assert desktop == sb.epath('Desktop')


@only('wine')
def case_src_of_program_in_root_directory_of_a_drive(sb):
    sb.platform.map_drive('r', sb.root)
    started_as = 'R:\\' + os.path.basename(sb.program)
    assert shown(sb, '[<Src>|<Base>]', defines='<Base>=<Src>\\..\n',
                 started_as=started_as) == '[R:|R:\\..]'


@only('native')
def case_src_of_program_in_root_directory(sb):
    if not os.access('/', os.W_OK):
        return
    base = '/updater-e2e-%s' % uuid.uuid4().hex[:8]
    shutil.copy2(sb.program, base)
    try:
        sb.program, sb.settings = base, base + '.ini'
        assert shown(sb, '[<Src>]', defines='<Base>=<Src>\\..\n') == '[]'
    finally:
        for path in (base, base + '.ini'):
            if os.path.exists(path):
                os.remove(path)
