#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/posix/internal-posix.h"
#include "platform/progress.h"

namespace updater::platform::posix {
namespace {

TEST(ProgressLine, PathsAreShortenedInTheirMiddleByColumns) {
    EXPECT_EQ(ShortenMiddle("/opt/tool/data/file.bin", 23), "/opt/tool/data/file.bin");
    EXPECT_EQ(ShortenMiddle("/opt/tool/data/file.bin", 11), "/opt/\u2026e.bin");
    // Two columns a character: the ends are cut at whole characters.
    EXPECT_EQ(TerminalColumns("コピーしています"), 16u);
    EXPECT_EQ(ShortenMiddle("コピーしています", 7), "コ\u2026ます");
    EXPECT_EQ(ShortenMiddle("abc", 0), "");
}

TEST(ProgressLine, FitsEveryWidthAndMovesWithoutATotal) {
    EXPECT_EQ(FormatProgressLine("Copying", 50, 200, "/a/b/c.txt", 80, 0),
              "Copying [#####               ] 25% /a/b/c.txt");
    const std::string item = "/opt/" + std::string(200, 'x') + "/データ.bin";
    for (size_t columns = 1; columns < 140; ++columns) {
        for (uint64_t total : {uint64_t{0}, uint64_t{1000}, kNoTotal}) {
            const std::string line =
                FormatProgressLine("コピーしています", 999, total, item, columns, 7);
            EXPECT_LT(TerminalColumns(line), columns) << columns << ": " << line;
        }
    }
    const std::string first = FormatProgressLine("Waiting", 0, kNoTotal, "", 80, 0);
    EXPECT_EQ(first.find('%'), std::string::npos);
    EXPECT_NE(FormatProgressLine("Waiting", 0, kNoTotal, "", 80, 1), first);
    EXPECT_EQ(FormatProgressLine("Waiting", 0, kNoTotal, "", 80, 30), first);

    const auto arguments = ZenityProgressArguments("Tool", "Copying", true, false);
    for (const char* wanted : {"--progress", "--title=Tool", "--no-cancel", "--pulsate"})
        EXPECT_NE(std::find(arguments.begin(), arguments.end(), wanted), arguments.end());
}

}  // namespace
}  // namespace updater::platform::posix
