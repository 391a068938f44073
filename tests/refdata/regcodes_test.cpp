#include "refdata/regcodes.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files_fixture.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class RegcodesTest : public RefFilesTest {
  protected:
    void SetUp() override {
        RefFilesTest::SetUp();
        fs::create_directories("input/my_regcodes");
    }
};

MATCHER_P3(IsRecord, title, regs, special, "") {
    return arg.title == title && arg.regs == std::vector<std::string>(regs) && arg.special == special;
}

using Regs = std::vector<std::string>;

TEST_F(RegcodesTest, AigFileEntriesIncludingTitleOnlyAndFaults) {
    writeWholeFile("input/AIG-regcodes.xml",
                   R"(<regcodes><livery title="AIG A320 Lufthansa D-AIZA" regs="D-AIZA"/>
  <livery title="AIG B77W Emirates" regs=" A6-EBA , A6-EBB,, " special="true"/><livery title="AIG A320 Retro" special="1"/>
  <livery title="FSLTL Do not use"/><livery regs="D-ABCD"/><livery title="AIG broken" regs="D AB, D-XYZ"/>
  <other title="ignored" regs="X-ABC"/></regcodes>)");
    std::vector<LiveryRegcodes> records{{"kept from before", {}, false}};
    EXPECT_TRUE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));
    EXPECT_THAT(records,
                ::testing::ElementsAre(IsRecord("kept from before", Regs{}, false),
                                       IsRecord("AIG A320 Lufthansa D-AIZA", Regs{"D-AIZA"}, false),
                                       IsRecord("AIG B77W Emirates", (Regs{"A6-EBA", "A6-EBB"}), true),
                                       IsRecord("AIG A320 Retro", Regs{}, true),
                                       IsRecord("FSLTL Do not use", Regs{}, false)));
    const std::string log = logText();
    EXPECT_NE(log.find("livery 5 has no title"), std::string::npos);
    EXPECT_NE(log.find("bad registration \"D AB\" for \"AIG broken\""), std::string::npos);
    writeWholeFile("input/AIG-regcodes.xml", "<regcodes><livery title=\"x\"");
    EXPECT_FALSE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));
    EXPECT_FALSE(gf_readAigRegcodes("input/none.xml", records));
}

TEST_F(RegcodesTest, UserFilesInNameOrderWithTitleOnlyAndSpecialLines) {
    writeWholeFile(
        "input/my_regcodes/b.TXT",
        "# my liveries\r\nFSLTL A320 Air France = F-GKXA, F-GKXB\r\n\r\n!FSLTL A320 Air France Skyteam = "
        "F-HBNK\r\n"
        "FSLTL B738 Ryanair Retro\r\n! Special without regs =\r\n; Title = with = signs = EI-DCL\r\n"
        "Title = with = signs = EI-DCL\r\n");
    writeWholeFile("input/my_regcodes/a.txt", "AIG A20N Wizz = HA-LVA\n");
    writeWholeFile("input/my_regcodes/notes.md", "Not = read\n");
    std::vector<LiveryRegcodes> records;
    EXPECT_TRUE(gf_readRegcodeFiles("input/my_regcodes", records));
    EXPECT_THAT(records,
                ::testing::ElementsAre(IsRecord("AIG A20N Wizz", Regs{"HA-LVA"}, false),
                                       IsRecord("FSLTL A320 Air France", (Regs{"F-GKXA", "F-GKXB"}), false),
                                       IsRecord("FSLTL A320 Air France Skyteam", Regs{"F-HBNK"}, true),
                                       IsRecord("FSLTL B738 Ryanair Retro", Regs{}, false),
                                       IsRecord("Special without regs", Regs{}, true),
                                       IsRecord("Title = with = signs", Regs{"EI-DCL"}, false)));
}

TEST_F(RegcodesTest, FaultyLinesAreLoggedAndTheGoodOnesKept) {
    writeWholeFile("input/my_regcodes/user.txt",
                   "Good one = D-AAAA\n= D-BBBB\nBad reg = D-AAAA, D CCCC\n!\nGood two = D-DDDD\n");
    std::vector<LiveryRegcodes> records;
    EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", records));
    EXPECT_THAT(records, ::testing::ElementsAre(IsRecord("Good one", Regs{"D-AAAA"}, false),
                                                IsRecord("Good two", Regs{"D-DDDD"}, false)));
    const std::string log = logText();
    EXPECT_NE(log.find("===> input/my_regcodes/user.txt(2): no title"), std::string::npos);
    EXPECT_NE(log.find("user.txt(3): bad registration \"D CCCC\""), std::string::npos);
    records.clear();
    EXPECT_TRUE(gf_readRegcodeFiles("input/none", records));  // no folder: nothing to read
    EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace vdl::test
