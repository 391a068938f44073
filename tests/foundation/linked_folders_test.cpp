// Which folders linked into a scanned folder's top level the scans enter.
#include "foundation/linked_folders.h"

#include <gtest/gtest.h>

#include "support/foundation_env.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

TEST(LinkedFolders, PlainFoldersAreNoLinksAndKeepTheirPath) {
    TempWorkDir dir;
    fs::create_directories("comm/real");
    EXPECT_FALSE(gf_isFolderLink("comm/real"));
    EXPECT_EQ(gf_finalFolderPath("comm/real"), fs::canonical("comm/real"));
    EXPECT_TRUE(gf_finalFolderPath("comm/missing").empty());
}

TEST(LinkedFolders, EachTargetIsEnteredOnceAndNeverTheScannedFolderAgain) {
#ifdef _WIN32
    GTEST_SKIP() << "MinGW's std::filesystem makes no links";
#else
    TempWorkDir dir;
    fs::create_directories("comm/real");
    fs::create_directories("store/pkg/sub");
    fs::create_directories("store/other");
    const struct {
        const char* link;
        const char* target;
    } links[] = {
        {"comm/a", "../store/pkg"},      // entered
        {"comm/b", "../store/pkg/sub"},  // inside a: walked with it
        {"comm/c", "../store/other"},    // entered
        {"comm/d", "../store/other"},    // the same again
        {"comm/e", "real"},              // inside the scanned folder
        {"comm/f", ".."},                // holds the scanned folder
        {"comm/g", "../nowhere"},        // dangling: neither
    };
    std::vector<fs::path> found;
    for (const auto& l : links) {
        fs::create_directory_symlink(l.target, l.link);
        found.emplace_back(l.link);
    }
    EXPECT_TRUE(gf_isFolderLink("comm/a"));
    EXPECT_EQ(gf_finalFolderPath("comm/a"), fs::canonical("store/pkg"));
    const LinkedFolders sorted = gf_sortLinkedFolders("comm", found);
    EXPECT_EQ(sorted.enter, (std::vector<fs::path>{"comm/a", "comm/c"}));
    EXPECT_EQ(sorted.repeat, (std::vector<fs::path>{"comm/b", "comm/d", "comm/e", "comm/f"}));
    // A later link that holds an earlier one's folder is walked once already too.
    EXPECT_EQ(gf_sortLinkedFolders("comm", {"comm/b", "comm/a"}).repeat, std::vector<fs::path>{"comm/a"});
#endif
}

}  // namespace
}  // namespace vdl::test
