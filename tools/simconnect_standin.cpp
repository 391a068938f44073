// A stand-in SimConnect.dll for tests and the main job under Wine: SimConnect's C functions
// (those the program calls) in front of the simulator stand-in, which the DLL hosts itself.
// The first SimConnect_Open starts the EDDL scenario, with the installed titles from
// VDL_SIM_TITLES and its end from VDL_SIM_SECONDS; its tracks go to output/tracks.json when
// that folder exists. Two extra exports let tests load a flight and close the simulator.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "simulator/sim_scenario.h"
#include "simulator/simconnect_records.h"

#define VDL_EXPORT extern "C" __declspec(dllexport)

namespace {

using namespace vdl;

struct Connection {
    std::shared_ptr<SimStandIn> sim;
    std::vector<std::byte> lastRecord;  // valid until the next GetNextDispatch, as with SimConnect
};

struct Host {
    std::mutex hostMutex;  // guards the fields below; held through every call
    // Never destroyed: its threads may still run while the process ends, and joining them
    // from the DLL's unloading would hang.
    SimulatorScenario* scenario = nullptr;
    Connection* connection = nullptr;  // the stand-in serves one client at a time
};

Host& lf_host() {
    static Host* host = new Host;
    return *host;
}

constexpr sc::HRESULT lf_result(SimResult r) {
    return r < 0 ? sc::RESULT_FAIL : sc::RESULT_OK;
}

// Runs `f` on the connection the handle names, under the host's lock.
template <typename F>
sc::HRESULT lf_onConnection(sc::HANDLE handle, F&& f) {
    Host& host = lf_host();
    std::lock_guard lock(host.hostMutex);
    if (handle == nullptr || handle != host.connection) return sc::RESULT_FAIL;
    return f(*host.connection);
}

std::string_view lf_text(const char* s) {
    return s != nullptr ? std::string_view(s) : std::string_view();
}

}  // namespace

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_Open(sc::HANDLE* phSimConnect, const char* szName, sc::HWND,
                                                   sc::DWORD, sc::HANDLE, sc::DWORD) {
    if (phSimConnect == nullptr) return sc::RESULT_FAIL;
    *phSimConnect = nullptr;
    Host& host = lf_host();
    std::lock_guard lock(host.hostMutex);
    if (host.connection != nullptr) return sc::RESULT_FAIL;
    if (host.scenario == nullptr) {
        SimScenarioConfig config;
        if (const std::string ignored = gf_applyScenarioEnvironment(config); !ignored.empty())
            std::fprintf(stderr, "SimConnect stand-in: %s\n", ignored.c_str());
        std::error_code ec;
        if (std::filesystem::is_directory("output", ec)) config.tracksFile = "output/tracks.json";
        host.scenario = new SimulatorScenario(config);
        host.scenario->start();
    }
    auto sim = host.scenario->standIn();
    if (!sim || sim->open(lf_text(szName)) < 0) return sc::RESULT_FAIL;
    host.connection = new Connection{std::move(sim), {}};
    *phSimConnect = host.connection;
    return sc::RESULT_OK;
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_Close(sc::HANDLE hSimConnect) {
    Host& host = lf_host();
    std::lock_guard lock(host.hostMutex);
    if (hSimConnect == nullptr || hSimConnect != host.connection) return sc::RESULT_FAIL;
    host.connection->sim->close();
    const bool quit = host.connection->sim->hasQuit();
    delete host.connection;
    host.connection = nullptr;
    // The simulator has closed: its track file is finished.
    if (quit) host.scenario->stop();
    return sc::RESULT_OK;
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AddToDataDefinition(sc::HANDLE h, sc::DWORD defineId,
                                                                  const char* datumName, const char* unitsName,
                                                                  sc::DWORD datumType, float, sc::DWORD) {
    const auto type = gf_simDataTypeFromSc(datumType);
    if (!type) return sc::RESULT_FAIL;
    // As documented: strings take NULL units. Held to it here, so that a client passing "" is seen.
    if (gf_simDataTypeIsString(*type) && unitsName != nullptr) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->addToDataDefinition(defineId, lf_text(datumName), lf_text(unitsName), *type));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_MapClientEventToSimEvent(sc::HANDLE h, sc::DWORD eventId,
                                                                       const char* eventName) {
    return lf_onConnection(
        h, [&](Connection& c) { return lf_result(c.sim->mapClientEventToSimEvent(eventId, lf_text(eventName))); });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AddClientEventToNotificationGroup(sc::HANDLE h, sc::DWORD groupId,
                                                                                sc::DWORD eventId, int maskable) {
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->addClientEventToNotificationGroup(groupId, eventId, maskable != 0));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_SetNotificationGroupPriority(sc::HANDLE h, sc::DWORD groupId,
                                                                          sc::DWORD priority) {
    return lf_onConnection(
        h, [&](Connection& c) { return lf_result(c.sim->setNotificationGroupPriority(groupId, priority)); });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_SubscribeToSystemEvent(sc::HANDLE h, sc::DWORD eventId,
                                                                     const char* systemEventName) {
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->subscribeToSystemEvent(eventId, lf_text(systemEventName)));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AICreateNonATCAircraft(sc::HANDLE h, const char* containerTitle,
                                                                     const char* tailNumber,
                                                                     sc::DATA_INITPOSITION initPos,
                                                                     sc::DWORD requestId) {
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->aiCreateNonAtcAircraft(lf_text(containerTitle), lf_text(tailNumber),
                                                       gf_simInitPosition(initPos), requestId));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AIRemoveObject(sc::HANDLE h, sc::DWORD objectId, sc::DWORD requestId) {
    return lf_onConnection(h, [&](Connection& c) { return lf_result(c.sim->aiRemoveObject(objectId, requestId)); });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AIReleaseControl(sc::HANDLE h, sc::DWORD objectId,
                                                               sc::DWORD requestId) {
    return lf_onConnection(h,
                           [&](Connection& c) { return lf_result(c.sim->aiReleaseControl(objectId, requestId)); });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_AISetAircraftFlightPlan(sc::HANDLE h, sc::DWORD objectId,
                                                                      const char* flightPlanPath,
                                                                      sc::DWORD requestId) {
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->aiSetAircraftFlightPlan(objectId, lf_text(flightPlanPath), requestId));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_SetDataOnSimObject(sc::HANDLE h, sc::DWORD defineId,
                                                                 sc::DWORD objectId, sc::DWORD flags,
                                                                 sc::DWORD arrayCount, sc::DWORD unitSize,
                                                                 void* data) {
    if (data == nullptr && unitSize > 0) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->setDataOnSimObject(defineId, objectId, flags, arrayCount, unitSize, data));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_RequestDataOnSimObject(sc::HANDLE h, sc::DWORD requestId,
                                                                     sc::DWORD defineId, sc::DWORD objectId,
                                                                     sc::DWORD period, sc::DWORD, sc::DWORD,
                                                                     sc::DWORD, sc::DWORD) {
    const auto p = gf_simPeriodFromSc(period);
    if (!p) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->requestDataOnSimObject(requestId, defineId, objectId, *p));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_RequestDataOnSimObjectType(sc::HANDLE h, sc::DWORD requestId,
                                                                         sc::DWORD defineId, sc::DWORD radiusMeters,
                                                                         sc::DWORD type) {
    const auto t = gf_simObjectTypeFromSc(type);
    if (!t) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->requestDataOnSimObjectType(requestId, defineId, radiusMeters, *t));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_TransmitClientEvent(sc::HANDLE h, sc::DWORD objectId,
                                                                  sc::DWORD eventId, sc::DWORD data,
                                                                  sc::DWORD groupId, sc::DWORD flags) {
    return lf_onConnection(h, [&](Connection& c) {
        return lf_result(c.sim->transmitClientEvent(objectId, eventId, data, groupId, flags));
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_GetLastSentPacketID(sc::HANDLE h, sc::DWORD* sendId) {
    if (sendId == nullptr) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        uint32_t id = 0;
        const SimResult r = c.sim->getLastSentPacketId(id);
        if (r >= 0) *sendId = id;
        return lf_result(r);
    });
}

VDL_EXPORT sc::HRESULT VDL_SC_CALL SimConnect_GetNextDispatch(sc::HANDLE h, sc::RECV** data, sc::DWORD* size) {
    if (data == nullptr || size == nullptr) return sc::RESULT_FAIL;
    return lf_onConnection(h, [&](Connection& c) {
        SimRecv message;
        if (c.sim->getNextDispatch(message) < 0) return sc::RESULT_FAIL;
        c.lastRecord = gf_recordFromSimRecv(message);
        *data = reinterpret_cast<sc::RECV*>(c.lastRecord.data());
        *size = static_cast<sc::DWORD>(c.lastRecord.size());
        return sc::RESULT_OK;
    });
}

// --- for tests: what the simulator's user would do ---

VDL_EXPORT void VDL_SC_CALL StandIn_LoadFlight(const char* fileName) {
    Host& host = lf_host();
    std::lock_guard lock(host.hostMutex);
    if (host.scenario != nullptr && host.scenario->standIn()) host.scenario->standIn()->loadFlight(std::string(lf_text(fileName)));
}

VDL_EXPORT void VDL_SC_CALL StandIn_Quit() {
    Host& host = lf_host();
    std::lock_guard lock(host.hostMutex);
    if (host.scenario != nullptr && host.scenario->standIn()) host.scenario->standIn()->quit();
}
