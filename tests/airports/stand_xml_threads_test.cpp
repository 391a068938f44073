// Parsed stand files in kept memory while other threads parse documents of their own.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <thread>
#include <vector>

#include "airports/stand_xml.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

// The number of stands and the id of the last: enough to tell a whole document from a torn one.
std::string lf_summary(const pugi::xml_document& doc) {
    const pugi::xml_node stands = doc.child("parkpositions");
    size_t n = 0;
    for (pugi::xml_node s = stands.first_child(); s; s = s.next_sibling()) n += s.child("opt") ? 1 : 0;
    return std::to_string(n) + " " + stands.last_child().attribute("id").as_string();
}

TEST(StandXmlThreads, EachThreadGetsItsOwnDocument) {
    test::TempWorkDir work;
    std::string text = "<parkpositions>";
    for (int i = 0; i < 300; ++i) text += "<parkpos id=\"S" + std::to_string(i) + "\"><opt day=\"1\" hh=\"2\"/></parkpos>";
    test::writeWholeFile("s.xml", text + "</parkpositions>");
    const std::string expected = "300 S299";
    std::vector<std::string> results(4);
    std::vector<int> kept(4, 0);
    {
        std::vector<std::jthread> threads;
        for (size_t t = 0; t < results.size(); ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 20; ++round) {
                    StandXmlDocument parsed;
                    kept[t] += parsed.kept() ? 1 : 0;
                    if (!parsed.loadFile("s.xml")) return;
                    pugi::xml_document own;  // an ordinary document made and freed meanwhile
                    own.append_child("x").append_attribute("y").set_value(std::string(3000, 'z').c_str());
                    results[t] = lf_summary(parsed.doc());
                }
            });
    }
    int keptTotal = 0;
    for (size_t t = 0; t < results.size(); ++t) {
        EXPECT_EQ(results[t], expected) << t;
        keptTotal += kept[t];
    }
    EXPECT_GT(keptTotal, 0);
    gf_releaseStandXmlMemory();
}

}  // namespace
}  // namespace vdl
