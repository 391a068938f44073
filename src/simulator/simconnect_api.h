#pragma once
// The part of SimConnect's C interface this program uses, written from Microsoft's public
// SimConnect documentation: the functions as pointer types (resolved from SimConnect.dll at
// run time), the received records, the enumerations and flags. The records are packed and
// every size and offset is checked against the documented layout, so they compile the same
// on every platform and the translation can be tested anywhere.
#include <cstddef>
#include <cstdint>

namespace vdl::sc {

using DWORD = std::uint32_t;
using HRESULT = std::int32_t;  // LONG on Windows
using HANDLE = void*;
using HWND = void*;

#if defined(_WIN32)
#define VDL_SC_CALL __stdcall
#else
#define VDL_SC_CALL
#endif

inline constexpr HRESULT RESULT_OK = 0;                                      // S_OK
inline constexpr HRESULT RESULT_FAIL = static_cast<HRESULT>(0x80004005u);  // E_FAIL

inline constexpr DWORD UNUSED = 0xFFFFFFFFu;          // SIMCONNECT_UNUSED
inline constexpr DWORD OBJECT_ID_USER = 0;            // SIMCONNECT_OBJECT_ID_USER
inline constexpr DWORD GROUP_PRIORITY_HIGHEST = 1;    // SIMCONNECT_GROUP_PRIORITY_HIGHEST
inline constexpr DWORD EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
inline constexpr DWORD DATA_SET_FLAG_DEFAULT = 0;
inline constexpr DWORD DATA_REQUEST_FLAG_DEFAULT = 0;
inline constexpr DWORD UNKNOWN_GROUP = 0xFFFFFFFFu;   // SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP
inline constexpr std::size_t FILENAME_SIZE = 260;  // MAX_PATH

// SIMCONNECT_RECV_ID, in the documented order.
enum RecvId : DWORD {
    RECV_ID_NULL = 0,
    RECV_ID_EXCEPTION = 1,
    RECV_ID_OPEN = 2,
    RECV_ID_QUIT = 3,
    RECV_ID_EVENT = 4,
    RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    RECV_ID_EVENT_FILENAME = 6,
    RECV_ID_EVENT_FRAME = 7,
    RECV_ID_SIMOBJECT_DATA = 8,
    RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    RECV_ID_ASSIGNED_OBJECT_ID = 12,
};

// SIMCONNECT_DATATYPE (the ones a data definition here can use).
enum DataType : DWORD {
    DATATYPE_INVALID = 0,
    DATATYPE_INT32 = 1,
    DATATYPE_INT64 = 2,
    DATATYPE_FLOAT32 = 3,
    DATATYPE_FLOAT64 = 4,
    DATATYPE_STRING8 = 5,
    DATATYPE_STRING32 = 6,
    DATATYPE_STRING64 = 7,
    DATATYPE_STRING128 = 8,
    DATATYPE_STRING256 = 9,
};

// SIMCONNECT_PERIOD.
enum Period : DWORD {
    PERIOD_NEVER = 0,
    PERIOD_ONCE = 1,
    PERIOD_VISUAL_FRAME = 2,
    PERIOD_SIM_FRAME = 3,
    PERIOD_SECOND = 4,
};

// SIMCONNECT_SIMOBJECT_TYPE.
enum SimObjectType : DWORD {
    SIMOBJECT_TYPE_USER = 0,
    SIMOBJECT_TYPE_ALL = 1,
    SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMOBJECT_TYPE_BOAT = 4,
    SIMOBJECT_TYPE_GROUND = 5,
};

// SIMCONNECT_EXCEPTION: the codes this program names (the list is longer).
enum Exception : DWORD {
    EXCEPTION_NONE = 0,
    EXCEPTION_ERROR = 1,
    EXCEPTION_SIZE_MISMATCH = 2,
    EXCEPTION_UNRECOGNIZED_ID = 3,
    EXCEPTION_UNOPENED = 4,
    EXCEPTION_NAME_UNRECOGNIZED = 7,
    EXCEPTION_EVENT_ID_DUPLICATE = 9,
    EXCEPTION_TOO_MANY_OBJECTS = 11,
    EXCEPTION_CREATE_OBJECT_FAILED = 22,
    EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
    EXCEPTION_OUT_OF_BOUNDS = 31,
};

#pragma pack(push, 1)

// SimConnect derives every record from RECV (and the events from RECV_EVENT); here each
// record spells out the inherited fields, which keeps them standard-layout for offsetof.

struct RECV {
    DWORD dwSize;  // of the whole record, derived part included
    DWORD dwVersion;
    DWORD dwID;
};

struct RECV_EXCEPTION {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD dwException;
    DWORD dwSendID;
    DWORD dwIndex;
};

struct RECV_OPEN {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    char szApplicationName[256];
    DWORD dwApplicationVersionMajor;
    DWORD dwApplicationVersionMinor;
    DWORD dwApplicationBuildMajor;
    DWORD dwApplicationBuildMinor;
    DWORD dwSimConnectVersionMajor;
    DWORD dwSimConnectVersionMinor;
    DWORD dwSimConnectBuildMajor;
    DWORD dwSimConnectBuildMinor;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

using RECV_QUIT = RECV;

struct RECV_EVENT {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
};

struct RECV_EVENT_OBJECT_ADDREMOVE {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
    DWORD eObjType;  // SimObjectType; dwData is the object id
};

struct RECV_EVENT_FILENAME {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
    char szFileName[FILENAME_SIZE];
    DWORD dwFlags;
};

struct RECV_EVENT_FRAME {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
    float fFrameRate;
    float fSimSpeed;
};

struct RECV_SIMOBJECT_DATA {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;
    DWORD dwoutof;
    DWORD dwDefineCount;
    DWORD dwData;  // the first of the data block's bytes, which run to dwSize
};

using RECV_SIMOBJECT_DATA_BYTYPE = RECV_SIMOBJECT_DATA;

struct RECV_ASSIGNED_OBJECT_ID {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
    DWORD dwRequestID;
    DWORD dwObjectID;
};

struct DATA_INITPOSITION {
    double Latitude;  // degrees
    double Longitude;
    double Altitude;  // feet
    double Pitch;     // degrees
    double Bank;
    double Heading;
    DWORD OnGround;
    DWORD Airspeed;  // knots
};

#pragma pack(pop)

// The documented layouts: every size is the sum of its fields, so no padding either way.
static_assert(sizeof(RECV) == 12);
static_assert(offsetof(RECV, dwSize) == 0 && offsetof(RECV, dwVersion) == 4 && offsetof(RECV, dwID) == 8);
static_assert(sizeof(RECV_EXCEPTION) == 24);
static_assert(offsetof(RECV_EXCEPTION, dwException) == 12 && offsetof(RECV_EXCEPTION, dwSendID) == 16 &&
              offsetof(RECV_EXCEPTION, dwIndex) == 20);
static_assert(sizeof(RECV_OPEN) == 308);
static_assert(offsetof(RECV_OPEN, szApplicationName) == 12 && offsetof(RECV_OPEN, dwApplicationVersionMajor) == 268 &&
              offsetof(RECV_OPEN, dwSimConnectVersionMajor) == 284 && offsetof(RECV_OPEN, dwReserved2) == 304);
static_assert(sizeof(RECV_EVENT) == 24);
static_assert(offsetof(RECV_EVENT, uGroupID) == 12 && offsetof(RECV_EVENT, uEventID) == 16 &&
              offsetof(RECV_EVENT, dwData) == 20);
static_assert(sizeof(RECV_EVENT_OBJECT_ADDREMOVE) == 28 && offsetof(RECV_EVENT_OBJECT_ADDREMOVE, eObjType) == 24);
static_assert(sizeof(RECV_EVENT_FILENAME) == 288);
static_assert(offsetof(RECV_EVENT_FILENAME, szFileName) == 24 && offsetof(RECV_EVENT_FILENAME, dwFlags) == 284);
static_assert(sizeof(RECV_EVENT_FRAME) == 32);
static_assert(offsetof(RECV_EVENT_FRAME, fFrameRate) == 24 && offsetof(RECV_EVENT_FRAME, fSimSpeed) == 28);
static_assert(sizeof(RECV_SIMOBJECT_DATA) == 44);
static_assert(offsetof(RECV_SIMOBJECT_DATA, dwRequestID) == 12 && offsetof(RECV_SIMOBJECT_DATA, dwObjectID) == 16 &&
              offsetof(RECV_SIMOBJECT_DATA, dwDefineID) == 20 && offsetof(RECV_SIMOBJECT_DATA, dwFlags) == 24 &&
              offsetof(RECV_SIMOBJECT_DATA, dwentrynumber) == 28 && offsetof(RECV_SIMOBJECT_DATA, dwoutof) == 32 &&
              offsetof(RECV_SIMOBJECT_DATA, dwDefineCount) == 36 && offsetof(RECV_SIMOBJECT_DATA, dwData) == 40);
static_assert(sizeof(RECV_ASSIGNED_OBJECT_ID) == 20);
static_assert(offsetof(RECV_ASSIGNED_OBJECT_ID, dwRequestID) == 12 && offsetof(RECV_ASSIGNED_OBJECT_ID, dwObjectID) == 16);
static_assert(sizeof(DATA_INITPOSITION) == 56);
static_assert(offsetof(DATA_INITPOSITION, Latitude) == 0 && offsetof(DATA_INITPOSITION, Heading) == 40 &&
              offsetof(DATA_INITPOSITION, OnGround) == 48 && offsetof(DATA_INITPOSITION, Airspeed) == 52);
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

// The functions, as SimConnect.dll exports them (C names, no decoration on x64).
using FnOpen = HRESULT(VDL_SC_CALL*)(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                                     HANDLE hEventHandle, DWORD ConfigIndex);
using FnClose = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect);
using FnAddToDataDefinition = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD DefineID, const char* DatumName,
                                                    const char* UnitsName, DWORD DatumType, float fEpsilon,
                                                    DWORD DatumID);
using FnMapClientEventToSimEvent = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD EventID, const char* EventName);
using FnAddClientEventToNotificationGroup = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD GroupID, DWORD EventID,
                                                                  int bMaskable);
using FnSetNotificationGroupPriority = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD GroupID, DWORD uPriority);
using FnSubscribeToSystemEvent = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD EventID,
                                                       const char* SystemEventName);
using FnAICreateNonATCAircraft = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, const char* szContainerTitle,
                                                       const char* szTailNumber, DATA_INITPOSITION InitPos,
                                                       DWORD RequestID);
using FnAIRemoveObject = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
using FnAIReleaseControl = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
using FnAISetAircraftFlightPlan = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD ObjectID,
                                                        const char* szFlightPlanPath, DWORD RequestID);
using FnSetDataOnSimObject = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD DefineID, DWORD ObjectID, DWORD Flags,
                                                   DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
using FnRequestDataOnSimObject = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                                       DWORD ObjectID, DWORD Period, DWORD Flags, DWORD origin,
                                                       DWORD interval, DWORD limit);
using FnRequestDataOnSimObjectType = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                                           DWORD dwRadiusMeters, DWORD type);
using FnTransmitClientEvent = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD ObjectID, DWORD EventID, DWORD dwData,
                                                    DWORD GroupID, DWORD Flags);
using FnGetLastSentPacketID = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, DWORD* pdwSendID);
using FnGetNextDispatch = HRESULT(VDL_SC_CALL*)(HANDLE hSimConnect, RECV** ppData, DWORD* pcbData);

}  // namespace vdl::sc
