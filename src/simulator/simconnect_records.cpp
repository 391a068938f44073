#include "simulator/simconnect_records.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace vdl {

namespace {

// The enumerations keep SimConnect's order: the translation is a checked cast.
static_assert(static_cast<sc::DWORD>(SimPeriod::Never) == sc::PERIOD_NEVER &&
              static_cast<sc::DWORD>(SimPeriod::Second) == sc::PERIOD_SECOND);
static_assert(static_cast<sc::DWORD>(SimObjectType::User) == sc::SIMOBJECT_TYPE_USER &&
              static_cast<sc::DWORD>(SimObjectType::Ground) == sc::SIMOBJECT_TYPE_GROUND);
static_assert(static_cast<sc::DWORD>(SimException::CreateObjectFailed) == sc::EXCEPTION_CREATE_OBJECT_FAILED &&
              static_cast<sc::DWORD>(SimException::OutOfBounds) == sc::EXCEPTION_OUT_OF_BOUNDS &&
              static_cast<sc::DWORD>(SimException::EventIdDuplicate) == sc::EXCEPTION_EVENT_ID_DUPLICATE);

static_assert(static_cast<sc::DWORD>(SimDataType::String256) + sc::DATATYPE_INT32 == sc::DATATYPE_STRING256);

// The server version the stand-in's records carry.
constexpr sc::DWORD recordVersion = 4;

template <typename T>
T lf_read(const void* record) {
    T value;
    std::memcpy(&value, record, sizeof value);
    return value;
}

// A fixed text field up to its first NUL; a field without one ends at its size.
template <std::size_t N>
std::string lf_text(const char (&field)[N]) {
    return std::string(field, std::find(field, field + N, '\0'));
}

// A text that fills its field has no NUL, which a reader must bear.
template <std::size_t N>
void lf_setText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

template <typename T>
std::vector<std::byte> lf_bytes(T record, std::size_t extra = 0) {
    record.dwSize = static_cast<sc::DWORD>(sizeof record + extra);
    record.dwVersion = recordVersion;
    std::vector<std::byte> bytes(sizeof record + extra);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

template <typename E>
void lf_fromEvent(const E& e, SimRecv& out) {
    out.groupId = e.uGroupID;
    out.eventId = e.uEventID;
    out.eventData = e.dwData;
}

template <typename E>
E lf_event(const SimRecv& m, sc::DWORD id) {
    E e{};
    e.dwID = id;
    e.uGroupID = m.groupId;
    e.uEventID = m.eventId;
    e.dwData = m.eventData;
    return e;
}

}  // namespace

RecordResult gf_simRecvFromRecord(const void* record, std::size_t size, SimRecv& out) {
    out = SimRecv{};
    if (record == nullptr || size < sizeof(sc::RECV)) return RecordResult::Malformed;
    const auto head = lf_read<sc::RECV>(record);
    // The record is what it says it is, no more: bytes beyond dwSize belong to nothing.
    if (head.dwSize < sizeof(sc::RECV) || head.dwSize > size) return RecordResult::Malformed;
    const std::size_t n = head.dwSize;
    auto fits = [n](std::size_t need) { return n >= need; };
    switch (head.dwID) {
        case sc::RECV_ID_NULL:
            out.id = SimRecvId::Null;
            return RecordResult::Translated;
        case sc::RECV_ID_EXCEPTION: {
            if (!fits(sizeof(sc::RECV_EXCEPTION))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_EXCEPTION>(record);
            out.id = SimRecvId::Exception;
            out.exception = static_cast<SimException>(r.dwException);
            out.sendId = r.dwSendID;
            out.index = r.dwIndex;
            return RecordResult::Translated;
        }
        case sc::RECV_ID_OPEN: {
            if (!fits(sizeof(sc::RECV_OPEN))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_OPEN>(record);
            out.id = SimRecvId::Open;
            out.applicationName = lf_text(r.szApplicationName);
            return RecordResult::Translated;
        }
        case sc::RECV_ID_QUIT:
            out.id = SimRecvId::Quit;
            return RecordResult::Translated;
        case sc::RECV_ID_EVENT: {
            if (!fits(sizeof(sc::RECV_EVENT))) return RecordResult::Malformed;
            out.id = SimRecvId::Event;
            lf_fromEvent(lf_read<sc::RECV_EVENT>(record), out);
            return RecordResult::Translated;
        }
        case sc::RECV_ID_EVENT_OBJECT_ADDREMOVE: {
            if (!fits(sizeof(sc::RECV_EVENT_OBJECT_ADDREMOVE))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_EVENT_OBJECT_ADDREMOVE>(record);
            out.id = SimRecvId::EventObjectAddRemove;
            lf_fromEvent(r, out);
            // The event's data is the object; the layer keeps the object's type as its data.
            out.objectId = r.dwData;
            out.eventData = r.eObjType;
            return RecordResult::Translated;
        }
        case sc::RECV_ID_EVENT_FILENAME: {
            if (!fits(sizeof(sc::RECV_EVENT_FILENAME))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_EVENT_FILENAME>(record);
            out.id = SimRecvId::EventFilename;
            lf_fromEvent(r, out);
            out.fileName = lf_text(r.szFileName);
            return RecordResult::Translated;
        }
        case sc::RECV_ID_EVENT_FRAME: {
            if (!fits(sizeof(sc::RECV_EVENT_FRAME))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_EVENT_FRAME>(record);
            out.id = SimRecvId::EventFrame;
            lf_fromEvent(r, out);
            out.frameRate = r.fFrameRate;
            out.simSpeed = r.fSimSpeed;
            return RecordResult::Translated;
        }
        case sc::RECV_ID_SIMOBJECT_DATA:
        case sc::RECV_ID_SIMOBJECT_DATA_BYTYPE: {
            constexpr std::size_t dataAt = offsetof(sc::RECV_SIMOBJECT_DATA, dwData);
            if (!fits(dataAt)) return RecordResult::Malformed;
            sc::RECV_SIMOBJECT_DATA r{};
            std::memcpy(&r, record, dataAt);
            out.id = head.dwID == sc::RECV_ID_SIMOBJECT_DATA ? SimRecvId::SimObjectData
                                                             : SimRecvId::SimObjectDataByType;
            out.requestId = r.dwRequestID;
            out.objectId = r.dwObjectID;
            out.defineId = r.dwDefineID;
            out.entryNumber = r.dwentrynumber;
            out.outOf = r.dwoutof;
            const auto* bytes = static_cast<const std::byte*>(record);
            out.data.assign(bytes + dataAt, bytes + n);
            return RecordResult::Translated;
        }
        case sc::RECV_ID_ASSIGNED_OBJECT_ID: {
            if (!fits(sizeof(sc::RECV_ASSIGNED_OBJECT_ID))) return RecordResult::Malformed;
            const auto r = lf_read<sc::RECV_ASSIGNED_OBJECT_ID>(record);
            out.id = SimRecvId::AssignedObjectId;
            out.requestId = r.dwRequestID;
            out.objectId = r.dwObjectID;
            return RecordResult::Translated;
        }
        default:
            return RecordResult::OtherKind;
    }
}

std::vector<std::byte> gf_recordFromSimRecv(const SimRecv& m) {
    switch (m.id) {
        case SimRecvId::Null: {
            sc::RECV r{};
            r.dwID = sc::RECV_ID_NULL;
            return lf_bytes(r);
        }
        case SimRecvId::Exception: {
            sc::RECV_EXCEPTION r{};
            r.dwID = sc::RECV_ID_EXCEPTION;
            r.dwException = static_cast<sc::DWORD>(m.exception);
            r.dwSendID = m.sendId;
            r.dwIndex = m.index;
            return lf_bytes(r);
        }
        case SimRecvId::Open: {
            sc::RECV_OPEN r{};
            r.dwID = sc::RECV_ID_OPEN;
            lf_setText(r.szApplicationName, m.applicationName);
            return lf_bytes(r);
        }
        case SimRecvId::Quit: {
            sc::RECV_QUIT r{};
            r.dwID = sc::RECV_ID_QUIT;
            return lf_bytes(r);
        }
        case SimRecvId::Event:
            return lf_bytes(lf_event<sc::RECV_EVENT>(m, sc::RECV_ID_EVENT));
        case SimRecvId::EventObjectAddRemove: {
            auto r = lf_event<sc::RECV_EVENT_OBJECT_ADDREMOVE>(m, sc::RECV_ID_EVENT_OBJECT_ADDREMOVE);
            r.dwData = m.objectId;
            r.eObjType = m.eventData;
            return lf_bytes(r);
        }
        case SimRecvId::EventFilename: {
            auto r = lf_event<sc::RECV_EVENT_FILENAME>(m, sc::RECV_ID_EVENT_FILENAME);
            lf_setText(r.szFileName, m.fileName);
            return lf_bytes(r);
        }
        case SimRecvId::EventFrame: {
            auto r = lf_event<sc::RECV_EVENT_FRAME>(m, sc::RECV_ID_EVENT_FRAME);
            r.fFrameRate = m.frameRate;
            r.fSimSpeed = m.simSpeed;
            return lf_bytes(r);
        }
        case SimRecvId::SimObjectData:
        case SimRecvId::SimObjectDataByType: {
            constexpr std::size_t dataAt = offsetof(sc::RECV_SIMOBJECT_DATA, dwData);
            sc::RECV_SIMOBJECT_DATA r{};
            r.dwID = m.id == SimRecvId::SimObjectData ? sc::RECV_ID_SIMOBJECT_DATA : sc::RECV_ID_SIMOBJECT_DATA_BYTYPE;
            r.dwRequestID = m.requestId;
            r.dwObjectID = m.objectId;
            r.dwDefineID = m.defineId;
            r.dwentrynumber = m.entryNumber;
            r.dwoutof = m.outOf;
            r.dwSize = static_cast<sc::DWORD>(dataAt + m.data.size());
            r.dwVersion = recordVersion;
            std::vector<std::byte> bytes(dataAt + m.data.size());
            std::memcpy(bytes.data(), &r, dataAt);
            if (!m.data.empty()) std::memcpy(bytes.data() + dataAt, m.data.data(), m.data.size());
            return bytes;
        }
        case SimRecvId::AssignedObjectId: {
            sc::RECV_ASSIGNED_OBJECT_ID r{};
            r.dwID = sc::RECV_ID_ASSIGNED_OBJECT_ID;
            r.dwRequestID = m.requestId;
            r.dwObjectID = m.objectId;
            return lf_bytes(r);
        }
    }
    return {};
}

sc::DWORD gf_scDataType(SimDataType type) {
    switch (type) {
        case SimDataType::Int32: return sc::DATATYPE_INT32;
        case SimDataType::Int64: return sc::DATATYPE_INT64;
        case SimDataType::Float32: return sc::DATATYPE_FLOAT32;
        case SimDataType::Float64: return sc::DATATYPE_FLOAT64;
        case SimDataType::String8: return sc::DATATYPE_STRING8;
        case SimDataType::String32: return sc::DATATYPE_STRING32;
        case SimDataType::String64: return sc::DATATYPE_STRING64;
        case SimDataType::String128: return sc::DATATYPE_STRING128;
        case SimDataType::String256: return sc::DATATYPE_STRING256;
    }
    return sc::DATATYPE_INVALID;
}

std::optional<SimDataType> gf_simDataTypeFromSc(sc::DWORD type) {
    if (type < sc::DATATYPE_INT32 || type > sc::DATATYPE_STRING256) return std::nullopt;
    return static_cast<SimDataType>(type - sc::DATATYPE_INT32);
}

sc::DWORD gf_scPeriod(SimPeriod period) {
    return static_cast<sc::DWORD>(period);
}

std::optional<SimPeriod> gf_simPeriodFromSc(sc::DWORD period) {
    if (period > sc::PERIOD_SECOND) return std::nullopt;
    return static_cast<SimPeriod>(period);
}

sc::DWORD gf_scObjectType(SimObjectType type) {
    return static_cast<sc::DWORD>(type);
}

std::optional<SimObjectType> gf_simObjectTypeFromSc(sc::DWORD type) {
    if (type > sc::SIMOBJECT_TYPE_GROUND) return std::nullopt;
    return static_cast<SimObjectType>(type);
}

sc::DATA_INITPOSITION gf_scInitPosition(const SimInitPosition& p) {
    return sc::DATA_INITPOSITION{p.latitude, p.longitude, p.altitude, p.pitch, p.bank, p.heading, p.onGround,
                                 p.airspeed};
}

SimInitPosition gf_simInitPosition(const sc::DATA_INITPOSITION& p) {
    return SimInitPosition{p.Latitude, p.Longitude, p.Altitude, p.Pitch, p.Bank, p.Heading, p.OnGround, p.Airspeed};
}

}  // namespace vdl
