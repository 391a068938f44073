// SimConnect.dll loaded with LoadLibraryW and its functions resolved with GetProcAddress, and
// the simulator layer's backend that translates every call and received record.
#include <windows.h>

#include <fmt/format.h>

#include <cstring>
#include <mutex>

#include "foundation/log.h"
#include "foundation/utf8_path.h"
#include "simulator/simconnect_dll.h"
#include "simulator/simconnect_records.h"

namespace vdl {

class SimConnectLibrary {
  public:
    HMODULE module = nullptr;  // kept loaded for the program's life
    sc::FnOpen open = nullptr;
    sc::FnClose close = nullptr;
    sc::FnAddToDataDefinition addToDataDefinition = nullptr;
    sc::FnMapClientEventToSimEvent mapClientEventToSimEvent = nullptr;
    sc::FnAddClientEventToNotificationGroup addClientEventToNotificationGroup = nullptr;
    sc::FnSetNotificationGroupPriority setNotificationGroupPriority = nullptr;
    sc::FnSubscribeToSystemEvent subscribeToSystemEvent = nullptr;
    sc::FnAICreateNonATCAircraft aiCreateNonAtcAircraft = nullptr;
    sc::FnAIRemoveObject aiRemoveObject = nullptr;
    sc::FnAIReleaseControl aiReleaseControl = nullptr;
    sc::FnAISetAircraftFlightPlan aiSetAircraftFlightPlan = nullptr;
    sc::FnSetDataOnSimObject setDataOnSimObject = nullptr;
    sc::FnRequestDataOnSimObject requestDataOnSimObject = nullptr;
    sc::FnRequestDataOnSimObjectType requestDataOnSimObjectType = nullptr;
    sc::FnTransmitClientEvent transmitClientEvent = nullptr;
    sc::FnGetLastSentPacketID getLastSentPacketId = nullptr;
    sc::FnGetNextDispatch getNextDispatch = nullptr;
};

namespace {

// Resolves one export into its pointer; the name of the missing one otherwise.
template <typename Fn>
bool lf_resolve(HMODULE module, const char* name, Fn& fn, std::string& missing) {
    FARPROC proc = GetProcAddress(module, name);
    if (proc == nullptr) {
        if (missing.empty()) missing = name;
        return false;
    }
    static_assert(sizeof fn == sizeof proc);
    std::memcpy(&fn, &proc, sizeof fn);  // one function pointer type to another, without a cast warning
    return true;
}

bool lf_resolveAll(SimConnectLibrary& l, std::string& missing) {
    HMODULE m = l.module;
    bool ok = true;
    ok &= lf_resolve(m, "SimConnect_Open", l.open, missing);
    ok &= lf_resolve(m, "SimConnect_Close", l.close, missing);
    ok &= lf_resolve(m, "SimConnect_AddToDataDefinition", l.addToDataDefinition, missing);
    ok &= lf_resolve(m, "SimConnect_MapClientEventToSimEvent", l.mapClientEventToSimEvent, missing);
    ok &= lf_resolve(m, "SimConnect_AddClientEventToNotificationGroup", l.addClientEventToNotificationGroup, missing);
    ok &= lf_resolve(m, "SimConnect_SetNotificationGroupPriority", l.setNotificationGroupPriority, missing);
    ok &= lf_resolve(m, "SimConnect_SubscribeToSystemEvent", l.subscribeToSystemEvent, missing);
    ok &= lf_resolve(m, "SimConnect_AICreateNonATCAircraft", l.aiCreateNonAtcAircraft, missing);
    ok &= lf_resolve(m, "SimConnect_AIRemoveObject", l.aiRemoveObject, missing);
    ok &= lf_resolve(m, "SimConnect_AIReleaseControl", l.aiReleaseControl, missing);
    ok &= lf_resolve(m, "SimConnect_AISetAircraftFlightPlan", l.aiSetAircraftFlightPlan, missing);
    ok &= lf_resolve(m, "SimConnect_SetDataOnSimObject", l.setDataOnSimObject, missing);
    ok &= lf_resolve(m, "SimConnect_RequestDataOnSimObject", l.requestDataOnSimObject, missing);
    ok &= lf_resolve(m, "SimConnect_RequestDataOnSimObjectType", l.requestDataOnSimObjectType, missing);
    ok &= lf_resolve(m, "SimConnect_TransmitClientEvent", l.transmitClientEvent, missing);
    ok &= lf_resolve(m, "SimConnect_GetLastSentPacketID", l.getLastSentPacketId, missing);
    ok &= lf_resolve(m, "SimConnect_GetNextDispatch", l.getNextDispatch, missing);
    return ok;
}

SimResult lf_result(sc::HRESULT hr) {
    return hr < 0 ? SIM_FAIL : SIM_OK;
}

class SimConnectDllBackend final : public SimBackend {
  public:
    explicit SimConnectDllBackend(std::shared_ptr<SimConnectLibrary> library) : lib_(std::move(library)) {}
    ~SimConnectDllBackend() override { close(); }

    SimResult open(std::string_view applicationName) override {
        std::lock_guard lock(handleMutex_);
        if (handle_ != nullptr) return SIM_FAIL;
        const std::string name(applicationName);
        sc::HANDLE h = nullptr;
        // A simulator that is not running answers with a failure: the link tries again.
        if (lib_->open(&h, name.c_str(), nullptr, 0, nullptr, 0) < 0 || h == nullptr) return SIM_FAIL;
        handle_ = h;
        return SIM_OK;
    }

    void close() override {
        std::lock_guard lock(handleMutex_);
        if (handle_ == nullptr) return;
        lib_->close(handle_);
        handle_ = nullptr;
    }

    SimResult addToDataDefinition(uint32_t defineId, std::string_view datumName, std::string_view unitsName,
                                  SimDataType type) override {
        const std::string datum(datumName), units(unitsName);
        // Strings and structures take NULL units, not "".
        const char* unitsText = units.empty() ? nullptr : units.c_str();
        return call([&](sc::HANDLE h) {
            return lib_->addToDataDefinition(h, defineId, datum.c_str(), unitsText, gf_scDataType(type), 0.0f,
                                             sc::UNUSED);
        });
    }

    SimResult mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) override {
        const std::string name(eventName);
        return call([&](sc::HANDLE h) { return lib_->mapClientEventToSimEvent(h, eventId, name.c_str()); });
    }

    SimResult addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId, bool maskable) override {
        return call([&](sc::HANDLE h) {
            return lib_->addClientEventToNotificationGroup(h, groupId, eventId, maskable ? 1 : 0);
        });
    }

    SimResult setNotificationGroupPriority(uint32_t groupId, uint32_t priority) override {
        return call([&](sc::HANDLE h) { return lib_->setNotificationGroupPriority(h, groupId, priority); });
    }

    SimResult subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) override {
        const std::string name(eventName);
        return call([&](sc::HANDLE h) { return lib_->subscribeToSystemEvent(h, eventId, name.c_str()); });
    }

    SimResult aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                     const SimInitPosition& position, uint32_t requestId) override {
        const std::string t(title), tail(tailNumber);
        return call([&](sc::HANDLE h) {
            return lib_->aiCreateNonAtcAircraft(h, t.c_str(), tail.c_str(), gf_scInitPosition(position), requestId);
        });
    }

    SimResult aiRemoveObject(uint32_t objectId, uint32_t requestId) override {
        return call([&](sc::HANDLE h) { return lib_->aiRemoveObject(h, objectId, requestId); });
    }

    SimResult aiReleaseControl(uint32_t objectId, uint32_t requestId) override {
        return call([&](sc::HANDLE h) { return lib_->aiReleaseControl(h, objectId, requestId); });
    }

    SimResult aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path, uint32_t requestId) override {
        const std::string p(path);
        return call([&](sc::HANDLE h) { return lib_->aiSetAircraftFlightPlan(h, objectId, p.c_str(), requestId); });
    }

    SimResult setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t flags, uint32_t arrayCount,
                                 uint32_t unitSize, const void* data) override {
        // SimConnect takes the block as void* but only reads it.
        return call([&](sc::HANDLE h) {
            return lib_->setDataOnSimObject(h, defineId, objectId, flags, arrayCount, unitSize,
                                            const_cast<void*>(data));
        });
    }

    SimResult requestDataOnSimObject(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                     SimPeriod period) override {
        return call([&](sc::HANDLE h) {
            return lib_->requestDataOnSimObject(h, requestId, defineId, objectId, gf_scPeriod(period),
                                                sc::DATA_REQUEST_FLAG_DEFAULT, 0, 0, 0);
        });
    }

    SimResult requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                         SimObjectType type) override {
        return call([&](sc::HANDLE h) {
            return lib_->requestDataOnSimObjectType(h, requestId, defineId, radiusMeters, gf_scObjectType(type));
        });
    }

    SimResult transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data, uint32_t groupId,
                                  uint32_t flags) override {
        return call([&](sc::HANDLE h) {
            return lib_->transmitClientEvent(h, objectId, eventId, data, groupId, flags);
        });
    }

    SimResult getLastSentPacketId(uint32_t& sendId) override {
        return call([&](sc::HANDLE h) {
            sc::DWORD id = 0;
            const sc::HRESULT hr = lib_->getLastSentPacketId(h, &id);
            if (hr >= 0) sendId = id;
            return hr;
        });
    }

    SimResult getNextDispatch(SimRecv& message) override {
        std::lock_guard lock(handleMutex_);
        if (handle_ == nullptr) return SIM_FAIL;
        // Records of kinds this program never asks for are passed over; a malformed one is
        // logged (a few a minute) and passed over too.
        for (;;) {
            sc::RECV* record = nullptr;
            sc::DWORD size = 0;
            if (lib_->getNextDispatch(handle_, &record, &size) < 0 || record == nullptr) return SIM_FAIL;
            switch (gf_simRecvFromRecord(record, size, message)) {
                case RecordResult::Translated:
                    return SIM_OK;
                case RecordResult::OtherKind:
                    break;
                case RecordResult::Malformed:
                    malformedLog_.logError(fmt::format("SimConnect: a malformed record of {} bytes passed over", size));
                    break;
            }
        }
    }

  private:
    template <typename F>
    SimResult call(F&& f) {
        std::lock_guard lock(handleMutex_);
        if (handle_ == nullptr) return SIM_FAIL;
        return lf_result(f(handle_));
    }

    std::shared_ptr<SimConnectLibrary> lib_;
    std::mutex handleMutex_;  // guards handle_ and serialises the calls on it
    sc::HANDLE handle_ = nullptr;
    LogLimiter malformedLog_{"SimConnect records"};
};

}  // namespace

std::filesystem::path gf_executableFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::shared_ptr<SimConnectLibrary> gf_loadSimConnectLibrary(const std::vector<std::filesystem::path>& candidates,
                                                            std::string& report) {
    report.clear();
    std::vector<std::string> reasons;
    for (const auto& path : candidates) {
        const std::string shown = gf_utf8FromPath(path);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            reasons.push_back(fmt::format("\"{}\" not found", shown));
            continue;
        }
        auto library = std::make_shared<SimConnectLibrary>();
        library->module = LoadLibraryW(path.c_str());
        if (library->module == nullptr) {
            reasons.push_back(fmt::format("\"{}\" does not load (error {})", shown, GetLastError()));
            continue;
        }
        std::string missing;
        if (!lf_resolveAll(*library, missing)) {
            FreeLibrary(library->module);
            reasons.push_back(fmt::format("\"{}\" has no {}", shown, missing));
            continue;
        }
        report = fmt::format("{} loaded from \"{}\"", simConnectDllName, shown);
        return library;
    }
    if (reasons.empty()) reasons.push_back("no folder to look in");
    report = fmt::format("no usable {}: ", simConnectDllName);
    for (std::size_t i = 0; i < reasons.size(); ++i) report += (i ? ", " : "") + reasons[i];
    return nullptr;
}

std::shared_ptr<SimBackend> gf_makeSimConnectBackend(std::shared_ptr<SimConnectLibrary> library) {
    if (!library) return nullptr;
    return std::make_shared<SimConnectDllBackend>(std::move(library));
}

}  // namespace vdl
