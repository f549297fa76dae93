"""Japanese names and texts cross the platform boundary unchanged: in the script, in file names,
in the command line and in message boxes. Each platform gets the script in the encoding its
reader decodes on every system: UTF-8 on Linux, UTF-16 with a byte-order mark on Windows. One
UTF-16 script serves both."""

from harness import message

SCRIPT = ('[UPDATER]\nNAME=更新ツール\nPROC=確認,表示\n'
          '[DEFINE]\n<データ>=<Src>\\データ\n'
          '[確認]\nMODE=EXIST\nFILE=<データ>\\ファイル.txt\n'
          '[表示]\nMODE=MSGBOX\nFLAG=確認,1\nTYPE=INFORMATION\nTEXT=見つかりました：{?Param\\0}\n'
          'ISABORT=0,0\n')


def case_japanese_script_paths_and_arguments(sb):
    sb.write('データ/ファイル.txt', 'x')
    sb.script(SCRIPT)
    result = sb.run(['引数'])
    assert [(p['name'], p['flag']) for p in result.procs] == [('確認', True), ('表示', True)], result
    assert [(b['caption'], b['text']) for b in result.boxes] == [
        ('更新ツール', '見つかりました：引数')], result
    assert result.exit_code == 0


def case_japanese_path_in_an_error_box(sb):
    sb.script('[UPDATER]\nNAME=更新ツール\nPROC=欠落\n[欠落]\nMODE=EXIST\n')
    result = sb.run()
    assert [(b['caption'], b['text']) for b in result.boxes] == [
        ('更新ツール', message(2, '欠落', 'FILE'))], result
    assert result.exit_code == 1


def case_one_utf16_script_serves_both_platforms(sb):
    sb.write('データ/ファイル.txt', 'x')
    sb.script(SCRIPT, encoding='utf-16-le')
    with open(sb.settings, 'r+b') as f:
        text = f.read()
        f.seek(0)
        f.write(b'\xff\xfe' + text)
    result = sb.run(['引数'])
    assert [(b['caption'], b['text']) for b in result.boxes] == [
        ('更新ツール', '見つかりました：引数')], result
