// The README's commands and options as a user types them: every option it lists is one the
// window has (and every one the window has is listed), every command it shows is taken, every
// script and file it links exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "shell/run_requests.h"
#include "shell/ui_thread.h"
#include "window/main_window.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

std::string lf_readme(const char* name) {
    std::ifstream in(gf_pathFromUtf8(std::string(VDL_SOURCE_DIR) + "/" + name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text between a heading and the next one of the same level.
std::string lf_section(const std::string& text, const std::string& heading) {
    const size_t start = text.find("\n" + heading + "\n");
    if (start == std::string::npos) return {};
    const size_t end = text.find("\n## ", start + 1);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

class ReadmeTest : public test::WindowShellTest {
  protected:
    void SetUp() override {
        WindowShellTest::SetUp();
        readme_ = lf_readme("README.md");
        ASSERT_FALSE(readme_.empty()) << "README.md not found under " << VDL_SOURCE_DIR;
    }
    std::string readme_;
};

TEST_F(ReadmeTest, TheOptionsTableIsTheWindowsOptions) {
    const std::string settings = lf_section(readme_, "## Settings and commands");
    ASSERT_FALSE(settings.empty());
    const size_t tableStart = settings.find("| name | caption in the window | value |");
    const size_t tableEnd = settings.find("Settings in parameters.xml only");
    ASSERT_NE(tableStart, std::string::npos);
    ASSERT_NE(tableEnd, std::string::npos);
    const std::string table = settings.substr(tableStart, tableEnd - tableStart);
    std::set<std::string> listed;
    const std::regex row(R"(\n\| `([A-Za-z_0-9]+)` \| ([^|]+) \|)");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), row); it != std::sregex_iterator(); ++it) {
        const std::string name = (*it)[1];
        std::string caption = (*it)[2];
        caption.erase(caption.find_last_not_of(' ') + 1);
        Parameter* p = gf_findParameter(name);
        ASSERT_NE(p, nullptr) << name << " is no setting";
        ASSERT_NE(p->control(), nullptr) << name << " has no control: it belongs in the parameters.xml list";
        EXPECT_EQ(caption, p->control()->caption()) << name;
        EXPECT_TRUE(listed.insert(name).second) << name << " twice";
    }
    for (Parameter* p : gf_parameters()) {
        if (p->control() == nullptr) continue;
        EXPECT_TRUE(listed.contains(p->name())) << p->name() << " is not in the README";
    }

    // The settings of parameters.xml alone, named in backquotes after the table.
    const std::string rest = settings.substr(tableEnd);
    const std::regex named("`([A-Za-z_]+[0-9]*)`");
    size_t count = 0;
    for (auto it = std::sregex_iterator(rest.begin(), rest.end(), named); it != std::sregex_iterator(); ++it) {
        EXPECT_NE(gf_findParameter((*it)[1].str()), nullptr) << (*it)[1] << " is no setting";
        ++count;
    }
    EXPECT_GE(count, 8u);
}

// Each command the README shows, typed as it stands there.
TEST_F(ReadmeTest, ItsCommandsAreTakenAsWritten) {
    const std::string settings = lf_section(readme_, "## Settings and commands");
    const std::regex example("`((set|press|help)[^`]*)`");
    std::set<std::string> seen;
    for (auto it = std::sregex_iterator(settings.begin(), settings.end(), example); it != std::sregex_iterator(); ++it) {
        const std::string command = (*it)[1];
        seen.insert((*it)[2]);
        if (command.find("NAME") != std::string::npos) continue;  // the pattern, not an example
        const std::string answer = gf_handleCommand(command);
        for (const char* refused : {"unknown command", "no box named", "no button named", "is no value", "is no page"})
            EXPECT_EQ(answer.find(refused), std::string::npos) << command << ": " << answer;
    }
    EXPECT_EQ(seen, (std::set<std::string>{"set", "press", "help"}));
    gf_takeRunRequests();
    EXPECT_NE(settings.find("| `quit` |"), std::string::npos);
}

// The scripts it tells to run and the files it links are there.
TEST_F(ReadmeTest, ItsScriptsAndLinksExist) {
    const std::filesystem::path root = gf_pathFromUtf8(VDL_SOURCE_DIR);
    std::set<std::string> files;
    const std::regex script(R"(bash (scripts/[a-z_-]+\.sh))");
    const std::regex link(R"(\]\(((docs|scripts|tools|src)/[^)#]+)[)#])");
    for (const std::regex& pattern : {script, link})
        for (auto it = std::sregex_iterator(readme_.begin(), readme_.end(), pattern); it != std::sregex_iterator(); ++it)
            files.insert((*it)[1]);
    EXPECT_TRUE(files.contains("scripts/run.sh"));
    EXPECT_TRUE(files.contains("docs/developer.md"));
    for (const auto& file : files) EXPECT_TRUE(std::filesystem::is_regular_file(root / gf_pathFromUtf8(file))) << file;
}

}  // namespace
}  // namespace vdl
