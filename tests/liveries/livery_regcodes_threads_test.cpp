// Registrations from the AIG file fetched over HTTP from a local server, then the user's files.
#include <gtest/gtest.h>

#include "support/data_env.h"
#include "support/http_server.h"

namespace vdl::test {
namespace {

class RegcodesServed : public DataEnv {
  protected:
    void serveAig(const std::string& xml) {
        makeZip("served.zip", {{"AIG-regcodes.xml", xml}});
        server_.setFile("AIG-regcodes.zip", "served.zip");
        std::filesystem::remove("served.zip");
        gf_setServerBaseForTests(server_.base());
    }
    static void userFile(const std::string& name, const std::string& text) {
        std::filesystem::create_directories("input/my_regcodes");
        writeWholeFile("input/my_regcodes/" + name, text);
    }

    LocalHttpServer server_;
};

TEST_F(RegcodesServed, LaterSourcesOverrideEarlier) {
    serveAig(R"(<regcodes>
  <livery title="DLH320b" regs="D-AIZA,D-AIZQ"/>
  <livery title="not installed" regs="D-XXXX" special="true"/>
  <livery title="BAW320a" regs="" special="true"/>
</regcodes>)");
    userFile("mine.txt", "# mine\nDLH320c = D-AIZA\nDLH20Na = D-AINA\nDLH20Na = D-AINA\nUnknown Title = D-QQQQ\n");
    buildFrom(handCatalogue());

    EXPECT_EQ(regcodeTitles.at("D-AIZA"), "DLH320c");
    EXPECT_EQ(regcodeTitles.at("D-AIZQ"), "DLH320b");
    EXPECT_EQ(regcodeTitles.at("D-AINA"), "DLH20Na");
    EXPECT_EQ(regcodeTitles.count("D-XXXX") + regcodeTitles.count("D-QQQQ"), 0u);  // not installed
    EXPECT_EQ(specialTitles, std::vector<TitleView>{"BAW320a"});
    EXPECT_EQ(gf_readFileLines("output/info/OfflineRegcodes.txt"),
              (std::vector<std::string>{
                  "Processing file input/AIG-regcodes.xml",
                  "   regcode D-AIZA for \"DLH320b\", instead of the same for \"DLH320a\"",
                  "1 new regcode added, 1 regcode replaced, 1 regcode defined as special",
                  "Processing files in input/my_regcodes",
                  "   regcode D-AIZA for \"DLH320c\", instead of the same for \"DLH320b\"",
                  "1 new regcode added, 1 regcode replaced",
              }));
    EXPECT_TRUE(contains(newLogLines(), "6 registration codes"));
    EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));  // unpacked file and zip are gone
    EXPECT_FALSE(std::filesystem::exists("AIG-regcodes.zip"));
    EXPECT_EQ(server_.requests().size(), 1u);
}

}  // namespace
}  // namespace vdl::test
