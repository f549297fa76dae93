#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace updater {
namespace {

// Windows lifts its old path limit only for a program that says it takes long paths, in the
// windowsSettings of its manifest and in the 2016 settings namespace.
TEST(Manifest, DeclaresLongPathAwareness) {
    std::ifstream file(UPDATER_MANIFEST);
    ASSERT_TRUE(file) << UPDATER_MANIFEST;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const size_t settings = text.find("<windowsSettings>");
    const size_t end = text.find("</windowsSettings>");
    const size_t entry = text.find(
        "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
        "</longPathAware>");
    ASSERT_NE(entry, std::string::npos);
    EXPECT_TRUE(settings < entry && entry < end && end != std::string::npos);
}

}  // namespace
}  // namespace updater
