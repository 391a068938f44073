// QNH from the weather datagrams.
#include <gtest/gtest.h>

#include <stdexcept>

#include "feed/qnh.h"
#include "feed_fixture.h"

namespace vdl {
namespace {

class QnhTest : public test::FeedTest {};

struct QnhCase {
    const char* json;
    int32_t hpa;
};

TEST_F(QnhTest, NumberStringAndInchesOfMercury) {
    const std::vector<QnhCase> cases = {
        {R"({"ICAO":"KMCE","QNH":1019.7,"METAR":"KMCE 130453Z AUTO","TA":18000})", 1020},
        {R"({"QNH":1013})", 1013},
        {R"({"QNH":"1013.2"})", 1013},
        {R"({"QNH":" 998.6 "})", 999},
        {R"({"QNH":2992})", 1013},    // 29.92 inHg
        {R"({"QNH":"2992"})", 1013},
        {R"({"QNH":2600})", 880},     // 26.00 inHg, the lowest
        {R"({"QNH":3000})", 1016},
        {R"({"QNH":800})", 800},
        {R"({"QNH":1100})", 1100},
        {R"({"QNH":1e3})", 1000},
    };
    for (const QnhCase& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(gf_parseQnh(c.json), c.hpa);
    }
}

TEST_F(QnhTest, RefusedValuesKeepTheOldOne) {
    const std::vector<const char*> refused = {
        R"({"QNH":799.9})",   R"({"QNH":1100.4})", R"({"QNH":-1})",        R"({"QNH":3400})",  // 1151 hPa
        R"({"QNH":2599})",    R"({"QNH":0})",      R"({"QNH":"abc"})",     R"({"QNH":""})",
        R"({"QNH":"nan"})",   R"({"QNH":"inf"})",  R"({"QNH":"1013hPa"})", R"({"QNH":null})",
        R"({"QNH":true})",    R"({"QNH":[1013]})", R"({"ICAO":"EDDL"})",   "[1013]",
        "QNH 1013",           "",                  R"({"QNH":1013)",
    };
    qnh = 1002;
    for (const char* json : refused) {
        SCOPED_TRACE(json);
        EXPECT_THROW(gf_parseQnh(json), std::runtime_error);
        EXPECT_FALSE(gf_processQnhDatagram(json));
        EXPECT_EQ(qnh.load(), 1002);
    }
    EXPECT_NE(logText().find("exception in processQnh: QNH 799.9 out of range"), std::string::npos);
    EXPECT_TRUE(gf_processQnhDatagram(R"({"QNH":"1021.4"})"));
    EXPECT_EQ(qnh.load(), 1021);
}

TEST_F(QnhTest, UdpRoundTripOnLoopback) {
    ASSERT_TRUE(gf_startQnhReader(0));
    const uint16_t port = qnhReader.port();
    ASSERT_NE(port, 0);
    // Weather datagrams with METARs exceed 2 KB.
    std::string metars;
    for (int i = 0; i < 40; ++i) metars += R"("EDDL 241130Z 24008KT 9999 FEW035 22/12 Q1008 NOSIG",)";
    metars.pop_back();
    const std::string datagram = R"({"ICAO":"EDDL","QNH":1008.4,"TA":5000,"AM":[)" + metars + "]}";
    ASSERT_GT(datagram.size(), 2048u);
    test::sendDatagram(port, datagram);
    ASSERT_TRUE(test::waitFor([] { return qnh.load() == 1008; }));
    test::sendDatagram(port, R"({"QNH":"2955"})");
    ASSERT_TRUE(test::waitFor([] { return qnh.load() == 1001; }));
    qnhReader.stop();
    EXPECT_FALSE(qnhReader.running());
    EXPECT_FALSE(readerError.load());
}

}  // namespace
}  // namespace vdl
