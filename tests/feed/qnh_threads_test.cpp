// QNH from the weather datagrams.
#include <gtest/gtest.h>

#include <stdexcept>

#include "feed/qnh.h"
#include "feed_fixture.h"

namespace vdl {
namespace {

class QnhTest : public test::FeedTest {};

TEST_F(QnhTest, NumberStringAndInchesOfMercury) {
    const std::pair<const char*, int32_t> cases[] = {
        {R"({"ICAO":"KMCE","QNH":1019.7,"TA":18000})", 1020},
        {R"({"QNH":" 998.6 "})", 999},
        {R"({"QNH":2992})", 1013},  // 29.92 inHg
        {R"({"QNH":"2992"})", 1013},
        {R"({"QNH":2600})", 880},
        {R"({"QNH":800})", 800},
        {R"({"QNH":1100})", 1100},
    };
    for (const auto& [json, hpa] : cases) EXPECT_EQ(gf_parseQnh(json), hpa) << json;
}

TEST_F(QnhTest, RefusedValuesKeepTheOldOne) {
    qnh = 1002;
    for (const char* json :
         {R"({"QNH":799.9})", R"({"QNH":1100.4})", R"({"QNH":3400})", R"({"QNH":2599})", R"({"QNH":"abc"})",
          R"({"QNH":"nan"})", R"({"QNH":null})", R"({"ICAO":"EDDL"})", ""}) {
        SCOPED_TRACE(json);
        EXPECT_THROW(gf_parseQnh(json), std::runtime_error);
        EXPECT_FALSE(gf_processQnhDatagram(json));
        EXPECT_EQ(qnh.load(), 1002);
    }
    EXPECT_NE(logText().find("exception in gf_processQnhDatagram: QNH 799.9 out of range"), std::string::npos);
}

// A datagram of nested arrays (up to 64 KB) is refused without being written out.
TEST_F(QnhTest, DeeplyNestedQnhIsRefusedByItsType) {
    const std::string deep = R"({"QNH":)" + std::string(30000, '[') + std::string(30000, ']') + "}";
    EXPECT_FALSE(gf_processQnhDatagram(deep));
    EXPECT_FALSE(gf_processQnhDatagram(R"({"QNH":true})"));
    const std::string log = logText();
    EXPECT_NE(log.find("QNH array is not a number"), std::string::npos);
    EXPECT_NE(log.find("QNH true is not a number"), std::string::npos);
}

TEST_F(QnhTest, UdpRoundTripOnLoopback) {
    ASSERT_TRUE(gf_startQnhReader(0));
    // Weather datagrams with METARs exceed 2 KB.
    test::sendDatagram(qnhReader.port(),
                       R"({"ICAO":"EDDL","QNH":1008.4,"METAR":")" + std::string(3000, 'x') + "\"}");
    ASSERT_TRUE(test::eventually([] { return qnh.load() == 1008; }));
    qnhReader.stop();
    EXPECT_FALSE(qnhReader.running());
    EXPECT_FALSE(readerError.load());
}

}  // namespace
}  // namespace vdl
