#include "resources/message_table.h"

namespace updater {

// One literal per line of a message. Every label ends in a full-width colon; the label of message 1
// also has an ASCII colon before it, and scripts' users know the text so.
const char* MessageText(unsigned id) {
    switch (id) {
        case 1:
            return "ファイルが見つかりません。\n"
                   "\n"
                   "ファイル:：\"%s\"";
        case 2:
            return "設定ファイルのフォーマットが正しくありません。\n"
                   "\n"
                   "セクション：\"%s\"\n"
                   "パラメータ：\"%s\"";
        case 3:
            return "メモリが不足しています。\n"
                   "\n"
                   "オブジェクト：\"%s\"";
        case 4:
            return "設定パラメータのアイテム数が正しくありません。\n"
                   "\n"
                   "セクション：\"%s\"\n"
                   "パラメータ：\"%s\"";
        case 5:
            return "パスの取得に失敗しました。\n"
                   "\n"
                   "ファイル：\"%s\"";
        case 6:
            return "シンボルが正しくありません。\n"
                   "\n"
                   "シンボル：\"%s\"";
        case 7:
            return "変更の取り消しに失敗しました。\n"
                   "\n"
                   "ファイル：\"%s\"";
        case 8:
            return "ファイルのコピーに失敗しました。\n"
                   "\n"
                   "転送元：\"%s\"\n"
                   "転送先：\"%s\"";
        case 9:
            return "アプリケーションの起動に失敗しました。\n"
                   "\n"
                   "ファイル：\"%s\"\n"
                   "パラメータ：\"%s\"";
        case 10:
            return "ファイルの削除に失敗しました。\n"
                   "\n"
                   "ファイル：\"%s\"";
        case 11:
            return "プロシージャ数が正しくありません。";
        case 12:
            return "ファイル属性の変更に失敗しました。\n"
                   "\n"
                   "ファイル：\"%s\"\n"
                   "属性：0x%08X";
        case 13:
            return "ディレクトリの作成に失敗しました。\n"
                   "\n"
                   "ディレクトリ：\"%s\"";
        case 14:
            return "ファイルの移動に失敗しました。\n"
                   "\n"
                   "転送元：\"%s\"\n"
                   "転送先：\"%s\"";
        case 15:
            return "リンクファイルの作成に失敗しました。\n"
                   "\n"
                   "転送元：\"%s\"\n"
                   "転送先：\"%s\"";
        case 16:
            return "同じ設定ファイルの更新が実行中です。\n"
                   "\n"
                   "ファイル：\"%s\"";
        default:
            return nullptr;
    }
}

const char* ProgressText(platform::ProgressWork work) {
    switch (work) {
        case platform::ProgressWork::kCopying:
            return "コピーしています";
        case platform::ProgressWork::kMoving:
            return "移動しています";
        case platform::ProgressWork::kDeleting:
            return "削除しています";
        case platform::ProgressWork::kWaiting:
            return "プログラムの終了を待っています";
    }
    return "";
}

const char* ProgressCancelText() {
    return "キャンセル";
}

const char* ProgressStoppingText() {
    return "中止して元に戻しています…";
}

}  // namespace updater
