// The read-me ships as GBK text: checks it against its UTF-8 source and
// that it explains every message the package can show.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "setup/logic/actions.h"
#include "setup/logic/texts.h"

namespace ovt::setup::test {
namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Gbk() { return Read(std::string(OVT_SETUP_SOURCE_DIR) + "/readme.txt"); }

TEST(Readme, IsTheGbkFormOfItsSource) {
    const std::string cmd = std::string("sed 's/$/\\r/' ") + OVT_SETUP_SOURCE_DIR + "/readme.utf8.txt | iconv -f UTF-8 -t GBK";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string converted;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) converted.append(buf, n);
    ASSERT_EQ(pclose(p), 0) << "the source does not convert to GBK";
    EXPECT_EQ(converted, Gbk()) << "run setup/make_readme.sh";
    // Windows line ends, for Notepad.
    EXPECT_NE(Gbk().find("\r\n"), std::string::npos);
    EXPECT_EQ(Gbk().find("\n\n"), std::string::npos);
}

TEST(Readme, ExplainsEveryMessageOfThePackage) {
    const std::string text = Gbk();
    std::vector<std::string> messages = {
        kTextAlreadyInstalled + std::string(),  // shown on one line in the text
        "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xc3\xbb\xd3\xd0\xbc\xd3\xd4\xd8\xa3\xa1",          // 驱动程序没有加载！
        "\xcf\xb5\xcd\xb3\xb4\xed\xce\xf3\xa3\xa1\xd7\xca\xd4\xb4\xb2\xbb\xd7\xe3",          // 系统错误！资源不足
        "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xd7\xa2\xb2\xe1\xb1\xed\xd6\xd0\xb5\xc4\xcf\xe0\xb9\xd8\xd7\xd3\xbc\xfc"
        "\xa3\xa1",                                                                          // 无法打开注册表中的相关子键！
        "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xce\xb4\xb0\xb2\xd7\xb0\xa3\xa1",                  // 驱动程序未安装！
        "registry read fail", "registry write fail",
        kMsgServicesOpen, kMsgServiceCreate, kMsgParametersCreate, kMsgMouseOpen, kMsgRunOnceOpen,
        kMsgShellFoldersOpen, kMsgProgramsRead, kMsgCoCreate, "path too long",
        "PShellLink calib fail", "PShellLink altclick fail", "PShellLink uninst fail", "PShellLink readme fail",
    };
    for (auto& row : kOvtPackageFiles) {
        if (row.CopyFailure) messages.push_back(row.CopyFailure);
    }
    messages[0] = "OlvaTouch\xd2\xd1\xbe\xad\xb0\xb2\xd7\xb0\xa3\xa1";  // OlvaTouch已经安装！
    for (auto& m : messages) EXPECT_NE(text.find(m), std::string::npos) << m;
}

}  // namespace
}  // namespace ovt::setup::test
