// SimConnect's records and values against the simulator layer's own, both ways.
#include <gtest/gtest.h>

#include <cstring>

#include "simulator/simconnect_dll.h"
#include "simulator/simconnect_records.h"

namespace vdl {
namespace {

SimRecv lf_kind(SimRecvId id) {
    SimRecv m;
    m.id = id;
    return m;
}

// Every kind the program reads comes back from its record with the fields that kind carries.
TEST(SimConnectRecordsTest, EveryKindSurvivesItsRecord) {
    struct Case {
        const char* name;
        SimRecv message;
        std::size_t recordSize;
    };
    SimRecv exception = lf_kind(SimRecvId::Exception);
    exception.exception = SimException::CreateObjectFailed;
    exception.sendId = 812;
    exception.index = 3;
    SimRecv open = lf_kind(SimRecvId::Open);
    open.applicationName = "Microsoft Flight Simulator";
    SimRecv event = lf_kind(SimRecvId::Event);
    event.groupId = sc::UNKNOWN_GROUP;
    event.eventId = 203;
    event.eventData = 1;
    SimRecv removed = lf_kind(SimRecvId::EventObjectAddRemove);
    removed.eventId = 207;
    removed.objectId = 0x00C0FFEE;
    removed.eventData = static_cast<uint32_t>(SimObjectType::Aircraft);
    SimRecv flight = lf_kind(SimRecvId::EventFilename);
    flight.eventId = 206;
    flight.fileName = "C:\\Users\\Jürgen\\Flights\\EDDL.FLT";
    SimRecv frame = lf_kind(SimRecvId::EventFrame);
    frame.eventId = 201;
    frame.frameRate = 29.5f;
    frame.simSpeed = 2.0f;
    SimRecv data = lf_kind(SimRecvId::SimObjectData);
    data.requestId = 102;
    data.objectId = 77;
    data.defineId = 405;
    data.entryNumber = 1;
    data.outOf = 1;
    SimDataWriter w;
    w.f64(51.2894);
    w.i32(1);
    w.text("D-AIZQ", SimDataType::String32);
    data.data = w.bytes();
    SimRecv byType = data;
    byType.id = SimRecvId::SimObjectDataByType;
    byType.requestId = 101;
    byType.entryNumber = 3;
    byType.outOf = 7;
    SimRecv assigned = lf_kind(SimRecvId::AssignedObjectId);
    assigned.requestId = 1000042;
    assigned.objectId = 9001;

    const Case cases[] = {
        {"null", lf_kind(SimRecvId::Null), 12},
        {"exception", exception, 24},
        {"open", open, 308},
        {"quit", lf_kind(SimRecvId::Quit), 12},
        {"event", event, 24},
        {"object removed", removed, 28},
        {"file name", flight, 288},
        {"frame", frame, 32},
        {"data", data, 40 + data.data.size()},
        {"data by type", byType, 40 + byType.data.size()},
        {"assigned id", assigned, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto record = gf_recordFromSimRecv(c.message);
        ASSERT_EQ(record.size(), c.recordSize);
        SimRecv back;
        ASSERT_EQ(gf_simRecvFromRecord(record.data(), record.size(), back), RecordResult::Translated);
        const SimRecv& m = c.message;
        EXPECT_EQ(back.id, m.id);
        EXPECT_EQ(back.requestId, m.requestId);
        EXPECT_EQ(back.objectId, m.objectId);
        EXPECT_EQ(back.defineId, m.defineId);
        EXPECT_EQ(back.entryNumber, m.entryNumber);
        EXPECT_EQ(back.outOf, m.outOf);
        EXPECT_EQ(back.data, m.data);
        EXPECT_EQ(back.eventId, m.eventId);
        EXPECT_EQ(back.eventData, m.eventData);
        EXPECT_EQ(back.frameRate, m.frameRate);
        EXPECT_EQ(back.simSpeed, m.simSpeed);
        EXPECT_EQ(back.fileName, m.fileName);
        EXPECT_EQ(back.exception, m.exception);
        EXPECT_EQ(back.sendId, m.sendId);
        EXPECT_EQ(back.index, m.index);
        EXPECT_EQ(back.applicationName, m.applicationName);
    }
}

// The fields sit where SimConnect's documentation puts them, read straight from the bytes.
TEST(SimConnectRecordsTest, FieldsSitAtTheirDocumentedOffsets) {
    SimRecv byType = lf_kind(SimRecvId::SimObjectDataByType);
    byType.requestId = 101;
    byType.objectId = 55;
    byType.defineId = 404;
    byType.entryNumber = 2;
    byType.outOf = 9;
    byType.data = {std::byte{0xAB}};
    const auto record = gf_recordFromSimRecv(byType);
    auto at = [&](std::size_t offset) {
        uint32_t v = 0;
        std::memcpy(&v, record.data() + offset, 4);
        return v;
    };
    EXPECT_EQ(at(0), 41u);  // dwSize: the header, seven fields and one byte of data
    EXPECT_EQ(at(8), 9u);   // SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE
    EXPECT_EQ(at(12), 101u);
    EXPECT_EQ(at(16), 55u);
    EXPECT_EQ(at(20), 404u);
    EXPECT_EQ(at(28), 2u);
    EXPECT_EQ(at(32), 9u);
    EXPECT_EQ(record[40], std::byte{0xAB});

    SimRecv removed = lf_kind(SimRecvId::EventObjectAddRemove);
    removed.eventId = 207;
    removed.objectId = 31;
    removed.eventData = 2;
    const auto r2 = gf_recordFromSimRecv(removed);
    uint32_t v[7];
    std::memcpy(v, r2.data(), sizeof v);
    EXPECT_EQ(v[2], 5u);   // SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE
    EXPECT_EQ(v[4], 207u);  // uEventID
    EXPECT_EQ(v[5], 31u);   // dwData: the object
    EXPECT_EQ(v[6], 2u);    // eObjType: aircraft
}

// What the simulator sends is outside input: a record shorter than its kind or than the size it
// claims is refused whole, kinds the program never asks for are passed over, and texts without
// their NUL end at their field.
TEST(SimConnectRecordsTest, ShortAndStrangeRecordsAreRefused) {
    struct Case {
        const char* name;
        SimRecvId id;
        std::size_t cut;  // bytes taken off the end of the record and its dwSize
    };
    const Case shortCases[] = {
        {"exception", SimRecvId::Exception, 1},       {"open", SimRecvId::Open, 4},
        {"event", SimRecvId::Event, 1},               {"object removed", SimRecvId::EventObjectAddRemove, 4},
        {"file name", SimRecvId::EventFilename, 4},   {"frame", SimRecvId::EventFrame, 4},
        {"data", SimRecvId::SimObjectData, 1},        {"assigned id", SimRecvId::AssignedObjectId, 4},
    };
    for (const Case& c : shortCases) {
        SCOPED_TRACE(c.name);
        auto record = gf_recordFromSimRecv(lf_kind(c.id));
        record.resize(record.size() - c.cut);
        const uint32_t size = static_cast<uint32_t>(record.size());
        std::memcpy(record.data(), &size, 4);
        SimRecv m;
        EXPECT_EQ(gf_simRecvFromRecord(record.data(), record.size(), m), RecordResult::Malformed);
    }

    SimRecv m;
    auto quit = gf_recordFromSimRecv(lf_kind(SimRecvId::Quit));
    EXPECT_EQ(gf_simRecvFromRecord(quit.data(), 11, m), RecordResult::Malformed);
    EXPECT_EQ(gf_simRecvFromRecord(nullptr, 64, m), RecordResult::Malformed);
    uint32_t header[3] = {13, 4, 3};  // claims a byte more than it has
    EXPECT_EQ(gf_simRecvFromRecord(header, sizeof header, m), RecordResult::Malformed);
    header[0] = 8;  // claims less than a header
    EXPECT_EQ(gf_simRecvFromRecord(header, sizeof header, m), RecordResult::Malformed);
    header[0] = 12;
    header[2] = 10;  // SIMCONNECT_RECV_ID_WEATHER_OBSERVATION
    EXPECT_EQ(gf_simRecvFromRecord(header, sizeof header, m), RecordResult::OtherKind);

    // The data block ends at dwSize even when the buffer goes on.
    SimRecv data = lf_kind(SimRecvId::SimObjectData);
    data.data.assign(8, std::byte{1});
    auto record = gf_recordFromSimRecv(data);
    record.resize(record.size() + 16, std::byte{2});
    ASSERT_EQ(gf_simRecvFromRecord(record.data(), record.size(), m), RecordResult::Translated);
    EXPECT_EQ(m.data, data.data);

    // Texts filling their whole field.
    auto open = gf_recordFromSimRecv(lf_kind(SimRecvId::Open));
    std::memset(open.data() + 12, 'A', 256);
    ASSERT_EQ(gf_simRecvFromRecord(open.data(), open.size(), m), RecordResult::Translated);
    EXPECT_EQ(m.applicationName, std::string(256, 'A'));
    SimRecv longName = lf_kind(SimRecvId::EventFilename);
    longName.fileName = std::string(400, 'x');
    auto flight = gf_recordFromSimRecv(longName);
    ASSERT_EQ(gf_simRecvFromRecord(flight.data(), flight.size(), m), RecordResult::Translated);
    EXPECT_EQ(m.fileName, std::string(260, 'x'));

    // An exception code this program does not name keeps its number.
    SimRecv other = lf_kind(SimRecvId::Exception);
    other.exception = static_cast<SimException>(35);
    auto ex = gf_recordFromSimRecv(other);
    ASSERT_EQ(gf_simRecvFromRecord(ex.data(), ex.size(), m), RecordResult::Translated);
    EXPECT_EQ(static_cast<uint32_t>(m.exception), 35u);
}

// The values the program passes keep SimConnect's numbering, and the stand-in DLL refuses
// values outside it.
TEST(SimConnectRecordsTest, ValuesTranslateBothWaysAndOutOfRangeIsRefused) {
    const std::pair<SimDataType, sc::DWORD> types[] = {
        {SimDataType::Int32, 1},    {SimDataType::Int64, 2},     {SimDataType::Float32, 3},
        {SimDataType::Float64, 4},  {SimDataType::String8, 5},   {SimDataType::String32, 6},
        {SimDataType::String64, 7}, {SimDataType::String128, 8}, {SimDataType::String256, 9},
    };
    for (const auto& [type, code] : types) {
        EXPECT_EQ(gf_scDataType(type), code);
        EXPECT_EQ(gf_simDataTypeFromSc(code), type);
    }
    for (sc::DWORD bad : {0u, 10u, 12u, 0xFFFFFFFFu}) EXPECT_FALSE(gf_simDataTypeFromSc(bad)) << bad;
    EXPECT_EQ(gf_scPeriod(SimPeriod::Once), sc::PERIOD_ONCE);
    EXPECT_EQ(gf_scPeriod(SimPeriod::Second), sc::PERIOD_SECOND);
    EXPECT_EQ(gf_simPeriodFromSc(sc::PERIOD_SECOND), SimPeriod::Second);
    EXPECT_FALSE(gf_simPeriodFromSc(5));
    EXPECT_EQ(gf_scObjectType(SimObjectType::Aircraft), sc::SIMOBJECT_TYPE_AIRCRAFT);
    EXPECT_EQ(gf_simObjectTypeFromSc(sc::SIMOBJECT_TYPE_AIRCRAFT), SimObjectType::Aircraft);
    EXPECT_FALSE(gf_simObjectTypeFromSc(6));

    const SimInitPosition p{51.2894, 6.7668, 147.0, -2.5, 0.5, 232.7, 1, 0xFFFFFFFEu};
    const sc::DATA_INITPOSITION d = gf_scInitPosition(p);
    EXPECT_EQ(d.Latitude, p.latitude);
    EXPECT_EQ(d.Heading, p.heading);
    EXPECT_EQ(d.OnGround, 1u);
    EXPECT_EQ(d.Airspeed, 0xFFFFFFFEu);  // INITPOSITION_AIRSPEED_KEEP
    const SimInitPosition back = gf_simInitPosition(d);
    EXPECT_EQ(back.longitude, p.longitude);
    EXPECT_EQ(back.altitude, p.altitude);
    EXPECT_EQ(back.pitch, p.pitch);
    EXPECT_EQ(back.bank, p.bank);
}

// Beside the program first, then the SDK folder and the SDK's own lib folder.
TEST(SimConnectRecordsTest, LibraryIsLookedForBesideTheProgramThenInTheSdk) {
    namespace fs = std::filesystem;
    const auto both = gf_simConnectDllCandidates(fs::path("prog"), fs::path("sdk"));
    ASSERT_EQ(both.size(), 3u);
    EXPECT_EQ(both[0], fs::path("prog") / "SimConnect.dll");
    EXPECT_EQ(both[1], fs::path("sdk") / "SimConnect.dll");
    EXPECT_EQ(both[2], fs::path("sdk") / "SimConnect SDK" / "lib" / "SimConnect.dll");
    EXPECT_EQ(gf_simConnectDllCandidates(fs::path("prog"), {}).size(), 1u);
    EXPECT_TRUE(gf_simConnectDllCandidates({}, {}).empty());
}

}  // namespace
}  // namespace vdl
