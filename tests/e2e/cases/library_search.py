"""Libraries beside the program are never taken for the system's."""

import os
import shutil

from harness import HEAD, only, texts

MARKER = 'planted-library-loaded'


@only('wine')
def case_a_library_planted_beside_the_program_is_not_loaded(sb):
    """Wine's user32 loads the theme library at run time; told to prefer a native one, Wine looks
    for it beside the program first. The same program built without its restriction of the library
    search, run the same way, does load it: the planting works, and the Updater refuses it."""
    shutil.copy2(os.path.join(sb.platform.helpers, 'planted_library.dll'), sb.path('uxtheme.dll'))
    overrides = sb.platform.env()['WINEDLLOVERRIDES'] + ';uxtheme=n,b'
    sb.script(HEAD % 'L' + '[L]\nMODE=LINK\nSRC=<Src>\\setup.exe\nPARAM=\nSHOWCMD=1\n'
              'DST=<Src>\\setup.lnk\n')
    result = sb.run(env={'WINEDLLOVERRIDES': overrides})
    assert result.exit_code == 0 and texts(result) == [], result
    assert not os.path.exists(sb.path(MARKER))
    shutil.copy2(os.path.join(sb.platform.helpers, 'unrestricted.exe'), sb.program)
    result = sb.run(env={'WINEDLLOVERRIDES': overrides})
    assert result.exit_code == 0 and os.path.exists(sb.path(MARKER)), result
