#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/parameters.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::TempWorkDir;

TEST(ParametersTest, ValuesAreSafeToUseFromSeveralThreads) {
    TempWorkDir dir;
    std::thread writer([] {
        for (int i = 0; i < 2000; ++i) DESTINATION.set(i % 2 ? "EDDF" : "KJFK");
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string d = DESTINATION.value();
        EXPECT_TRUE(d.empty() || d == "EDDF" || d == "KJFK") << d;
    }
    writer.join();
}

}  // namespace
}  // namespace vdl
