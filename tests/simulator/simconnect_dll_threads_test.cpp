// The SimConnect.dll backend against the stand-in SimConnect.dll (Windows, under Wine here):
// the program's whole path through the library's C functions and its records. The stand-in
// DLL runs the simulator on its own threads.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include "foundation/utf8_path.h"
#include "simulator/simconnect_dll.h"
#include "support/platform.h"
#include "support/wait.h"

namespace vdl {
namespace {

namespace fs = std::filesystem;

constexpr const char* installedTitle = "Airbus A320neo Test Airways";
constexpr uint32_t DEF_POSITION = 1;
constexpr uint32_t DEF_IN_RANGE = 2;

class SimConnectDllTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The DLL's path as the build names it, made absolute before anything changes folder.
        const fs::path dll = fs::absolute(fs::path(VDL_STANDIN_SIMCONNECT_DLL));
        dir_ = test::makeTempDir("vdl-simconnect-");
        fs::create_directories(dir_ / "program");
        fs::copy_file(dll, dir_ / "program" / simConnectDllName);
        std::ofstream(dir_ / "titles.txt") << installedTitle << "\n";
        test::setEnv("VDL_SIM_TITLES", gf_utf8FromPath(dir_ / "titles.txt"));
        test::setEnv("VDL_SIM_SECONDS", "600");
    }
    void TearDown() override {
        test::unsetEnv("VDL_SIM_TITLES");
        test::unsetEnv("VDL_SIM_SECONDS");
        std::error_code ec;
        fs::remove_all(dir_, ec);  // the loaded DLL stays behind
    }

    fs::path dir_;
};

// The next message of the kind; others (frames keep coming) are passed over.
std::optional<SimRecv> lf_nextOf(SimHandle h, SimRecvId id) {
    std::optional<SimRecv> found;
    test::eventually([&] {
        SimRecv m;
        while (SimConnect_GetNextDispatch(h, m) >= 0) {
            if (m.id == id) {
                found = std::move(m);
                return true;
            }
        }
        return false;
    }, std::chrono::seconds(15));
    return found;
}

template <typename Fn>
Fn lf_standInControl(const char* name) {
    HMODULE dll = GetModuleHandleW(L"SimConnect.dll");
    FARPROC proc = dll != nullptr ? GetProcAddress(dll, name) : nullptr;
    Fn fn = nullptr;
    std::memcpy(&fn, &proc, sizeof fn);
    return fn;
}

// Every kind of received message, each provoked by what the program does (or the simulator's
// user), arrives translated with its fields: open, definitions, events, creates with assigned
// ids, data, in-range data, removals, quit.
TEST_F(SimConnectDllTest, EveryReceivedKindArrivesTranslated) {
    SimConnectDllLink link(gf_simConnectDllCandidates(dir_ / "program", dir_ / "no-sdk"));
    link.start();
    SimHandle h = nullptr;
    ASSERT_EQ(SimConnect_Open(h, "Vandrel test"), SIM_OK);
    ASSERT_NE(h, nullptr);

    auto loadFlight = lf_standInControl<void(__stdcall*)(const char*)>("StandIn_LoadFlight");
    auto quit = lf_standInControl<void(__stdcall*)()>("StandIn_Quit");
    ASSERT_NE(loadFlight, nullptr);
    ASSERT_NE(quit, nullptr);

    uint32_t sent = 0;
    uint32_t created = 0;
    const std::string flightFile = "Flights\\EDDL Jürgen.FLT";
    struct Step {
        const char* name;
        std::function<void()> act;
        SimRecvId expect;
        std::function<void(const SimRecv&)> check;
    };
    const Step steps[] = {
        {"open", [] {}, SimRecvId::Open,
         [](const SimRecv& m) { EXPECT_EQ(m.applicationName, "Simulator stand-in"); }},
        {"exception",
         [&] {
             EXPECT_EQ(SimConnect_AddToDataDefinition(h, DEF_POSITION, "PLANE LATITUDE", "degrees"), SIM_OK);
             EXPECT_EQ(SimConnect_AddToDataDefinition(h, DEF_POSITION, "PLANE LONGITUDE", "degrees"), SIM_OK);
             EXPECT_EQ(SimConnect_AddToDataDefinition(h, DEF_IN_RANGE, "ATC ID", "", SimDataType::String32), SIM_OK);
             EXPECT_EQ(SimConnect_AddToDataDefinition(h, DEF_IN_RANGE, "SIM ON GROUND", "bool", SimDataType::Int32),
                       SIM_OK);
             EXPECT_EQ(SimConnect_AddToDataDefinition(h, 9, "NO SUCH VARIABLE", "feet"), SIM_OK);
             EXPECT_EQ(SimConnect_GetLastSentPacketID(h, sent), SIM_OK);
         },
         SimRecvId::Exception,
         [&](const SimRecv& m) {
             EXPECT_EQ(m.exception, SimException::NameUnrecognized);
             EXPECT_EQ(m.sendId, sent);
             EXPECT_GE(sent, 5u);
         }},
        {"event", [&] { EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 11, "Sim"), SIM_OK); }, SimRecvId::Event,
         [](const SimRecv& m) {
             EXPECT_EQ(m.eventId, 11u);
             EXPECT_EQ(m.groupId, SIM_UNUSED);
             EXPECT_LE(m.eventData, 1u);
         }},
        {"frame", [&] { EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 12, "Frame"), SIM_OK); },
         SimRecvId::EventFrame,
         [](const SimRecv& m) {
             EXPECT_EQ(m.eventId, 12u);
             EXPECT_EQ(m.frameRate, 30.0f);
             EXPECT_EQ(m.simSpeed, 1.0f);
         }},
        {"file name",
         [&] {
             EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 13, "FlightLoaded"), SIM_OK);
             loadFlight(flightFile.c_str());
         },
         SimRecvId::EventFilename,
         [&](const SimRecv& m) {
             EXPECT_EQ(m.eventId, 13u);
             EXPECT_EQ(m.fileName, flightFile);
         }},
        {"assigned id",
         [&] {
             const SimInitPosition p{51.2861, 6.7532, 147.0, 0.0, 0.0, 232.7, 1, 0};
             EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, installedTitle, "D-AXYZ", p, 500), SIM_OK);
         },
         SimRecvId::AssignedObjectId,
         [&](const SimRecv& m) {
             EXPECT_EQ(m.requestId, 500u);
             EXPECT_NE(m.objectId, SIM_OBJECT_ID_USER);
             created = m.objectId;
         }},
        {"data",
         [&] {
             EXPECT_EQ(SimConnect_RequestDataOnSimObject(h, 600, DEF_POSITION, SIM_OBJECT_ID_USER, SimPeriod::Once),
                       SIM_OK);
         },
         SimRecvId::SimObjectData,
         [](const SimRecv& m) {
             EXPECT_EQ(m.requestId, 600u);
             EXPECT_EQ(m.defineId, DEF_POSITION);
             EXPECT_EQ(m.entryNumber, 1u);
             EXPECT_EQ(m.outOf, 1u);
             ASSERT_EQ(m.data.size(), 16u);
             SimDataReader r(m.data);
             EXPECT_NEAR(r.f64(), 51.29, 0.1);
             EXPECT_NEAR(r.f64(), 6.77, 0.1);
         }},
        {"data by type",
         [&] {
             EXPECT_EQ(SimConnect_RequestDataOnSimObjectType(h, 700, DEF_IN_RANGE, 20000, SimObjectType::Aircraft),
                       SIM_OK);
         },
         SimRecvId::SimObjectDataByType,
         [](const SimRecv& m) {
             EXPECT_EQ(m.requestId, 700u);
             EXPECT_EQ(m.defineId, DEF_IN_RANGE);
             EXPECT_GE(m.entryNumber, 1u);
             EXPECT_LE(m.entryNumber, m.outOf);
             EXPECT_EQ(m.data.size(), 36u);
         }},
        {"object removed",
         [&] {
             // The calls that get no answer of their own take the same way.
             EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h, 20, "ALL_LIGHTS_TOGGLE"), SIM_OK);
             EXPECT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, 20), SIM_OK);
             EXPECT_EQ(SimConnect_SetNotificationGroupPriority(h, 301, SIM_GROUP_PRIORITY_HIGHEST), SIM_OK);
             EXPECT_EQ(SimConnect_AIReleaseControl(h, created, 801), SIM_OK);
             EXPECT_EQ(SimConnect_TransmitClientEvent(h, created, 20, 0, 301, 0), SIM_OK);
             const double block[2] = {51.2862, 6.7533};
             EXPECT_EQ(SimConnect_SetDataOnSimObject(h, DEF_POSITION, created, 0, 1, sizeof block, block), SIM_OK);
             EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 14, "ObjectRemoved"), SIM_OK);
             EXPECT_EQ(SimConnect_AIRemoveObject(h, created, 800), SIM_OK);
         },
         SimRecvId::EventObjectAddRemove,
         [&](const SimRecv& m) {
             EXPECT_EQ(m.eventId, 14u);
             EXPECT_EQ(m.objectId, created);
             EXPECT_EQ(m.eventData, static_cast<uint32_t>(SimObjectType::Aircraft));
         }},
        {"quit", [&] { quit(); }, SimRecvId::Quit, [](const SimRecv&) {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        const auto m = lf_nextOf(h, step.expect);
        ASSERT_TRUE(m) << "no message of the kind arrived";
        step.check(*m);
    }

    // The simulator is gone: the link is back to waiting, and nothing breaks.
    EXPECT_EQ(SimConnect_Close(h), SIM_OK);
    SimHandle again = nullptr;
    EXPECT_EQ(SimConnect_Open(again, "Vandrel test"), SIM_FAIL);
    EXPECT_EQ(again, nullptr);
    link.stop();
}

// No library, or a library without SimConnect's functions, is "waiting for the simulator":
// every open fails, nothing is called, nothing crashes.
TEST_F(SimConnectDllTest, MissingOrForeignLibraryLeavesTheLinkWaiting) {
    std::string report;
    EXPECT_FALSE(gf_loadSimConnectLibrary(gf_simConnectDllCandidates(dir_ / "nowhere", {}), report));
    EXPECT_NE(report.find("not found"), std::string::npos) << report;

    // Some other DLL under SimConnect's name.
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    fs::create_directories(dir_ / "foreign");
    fs::copy_file(fs::path(system) / "version.dll", dir_ / "foreign" / simConnectDllName);
    EXPECT_FALSE(gf_loadSimConnectLibrary(gf_simConnectDllCandidates(dir_ / "foreign", {}), report));
    EXPECT_NE(report.find("foreign"), std::string::npos) << report;

    SimConnectDllLink link(gf_simConnectDllCandidates(dir_ / "nowhere", dir_ / "foreign"));
    link.start();
    for (int i = 0; i < 3; ++i) {
        SimHandle h = nullptr;
        EXPECT_EQ(SimConnect_Open(h, "Vandrel test"), SIM_FAIL);
        EXPECT_EQ(h, nullptr);
    }
    link.stop();
}

}  // namespace
}  // namespace vdl
#endif
