// The track file: what the stand-in recorded comes back unchanged; broken files are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "simulator/track_file.h"
#include "support/foundation_env.h"

namespace vdl::test {
namespace {

StandInObject sampleObject(uint32_t id, bool removed) {
    StandInObject o;
    o.id = id;
    o.title = "Airbus A320 Lufthansa \xff";  // a byte that is not UTF-8
    o.tailNumber = "DLH4AB";
    o.createdAt = 1.5;
    o.removed = removed;
    o.removedAt = removed ? 99.0 : 0.0;
    for (int i = 0; i < 3; ++i) {
        TrackPoint p;
        p.time = 1.5 + i;
        p.latitude = 51.28 + i * 0.001;
        p.longitude = -179.9999 + i * 0.0001;
        p.altitude = 150.0 + i;
        p.altAboveGround = 3.0;
        p.pitch = -0.05;
        p.bank = 0.01 * i;
        p.heading = 6.2;
        p.trueAirspeed = 140.0;
        p.verticalSpeed = -12.5;
        p.groundSpeed = 138.0;
        p.onGround = i == 2;
        o.track.push_back(p);
    }
    o.events.push_back({2.0, "GEAR_SET", 1});
    o.events.push_back({3.0, "removed", 0});
    return o;
}

TEST(TrackFile, RoundTripKeepsEveryField) {
    TempWorkDir dir;
    const std::vector<StandInObject> objects{sampleObject(3, false), sampleObject(4, true)};
    ASSERT_TRUE(gf_writeTrackFile(objects, dir.path() / "tracks.json"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tracks.json.tmp"));
    const auto read = gf_readTrackFile(dir.path() / "tracks.json");
    ASSERT_EQ(read.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        const auto& a = objects[k];
        const auto& b = read[k];
        EXPECT_EQ(b.id, a.id);
        EXPECT_EQ(b.tailNumber, a.tailNumber);
        EXPECT_EQ(b.removed, a.removed);
        EXPECT_DOUBLE_EQ(b.removedAt, a.removedAt);
        ASSERT_EQ(b.track.size(), a.track.size());
        for (size_t i = 0; i < a.track.size(); ++i) {
            EXPECT_DOUBLE_EQ(b.track[i].latitude, a.track[i].latitude);
            EXPECT_DOUBLE_EQ(b.track[i].longitude, a.track[i].longitude);
            EXPECT_DOUBLE_EQ(b.track[i].altitude, a.track[i].altitude);
            EXPECT_DOUBLE_EQ(b.track[i].bank, a.track[i].bank);
            EXPECT_DOUBLE_EQ(b.track[i].verticalSpeed, a.track[i].verticalSpeed);
            EXPECT_EQ(b.track[i].onGround, a.track[i].onGround);
        }
        ASSERT_EQ(b.events.size(), 2u);
        EXPECT_EQ(b.events[0].name, "GEAR_SET");
        EXPECT_EQ(b.events[0].data, 1u);
    }
}

TEST(TrackFile, RefusesWhatIsNotATrackFile) {
    TempWorkDir dir;
    EXPECT_THROW(gf_readTrackFile(dir.path() / "missing.json"), std::runtime_error);
    writeWholeFile(dir.path() / "other.json", R"({"format":"something else","objects":[]})");
    EXPECT_THROW(gf_readTrackFile(dir.path() / "other.json"), std::runtime_error);
    writeWholeFile(dir.path() / "cut.json", R"({"format":"vandrel-tracks","objects":[{"id":3,"track":[[1,2)");
    EXPECT_THROW(gf_readTrackFile(dir.path() / "cut.json"), std::runtime_error);
    writeWholeFile(dir.path() / "short.json", R"({"format":"vandrel-tracks","objects":[{"id":3,"track":[[1,2,3]],"events":[]}]})");
    EXPECT_THROW(gf_readTrackFile(dir.path() / "short.json"), std::runtime_error);
}

TEST(TrackFile, UnwritableFolderAnswersFalse) {
    TempWorkDir dir;
    EXPECT_FALSE(gf_writeTrackFile(std::vector<StandInObject>{sampleObject(3, false)}, dir.path() / "no" / "such" / "t.json"));
}

}  // namespace
}  // namespace vdl::test
