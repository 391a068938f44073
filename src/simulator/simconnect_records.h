#pragma once
// Translation between the simulator layer's own types and SimConnect's records and values,
// both ways: the SimConnect.dll backend reads the records the simulator sends, the stand-in
// SimConnect.dll writes them.
#include <cstddef>
#include <optional>
#include <vector>

#include "simlink/sim_layer.h"
#include "simulator/simconnect_api.h"

namespace vdl {

enum class RecordResult {
    Translated,  // `out` holds the message
    OtherKind,   // a well-formed record of a kind this program does not ask for
    Malformed,   // shorter than its kind or than the size it claims
};

// One received record of `size` bytes as the simulator layer's message.
RecordResult gf_simRecvFromRecord(const void* record, std::size_t size, SimRecv& out);
// The record the simulator would send for the message (the stand-in SimConnect.dll's side).
std::vector<std::byte> gf_recordFromSimRecv(const SimRecv& message);

sc::DWORD gf_scDataType(SimDataType type);
std::optional<SimDataType> gf_simDataTypeFromSc(sc::DWORD type);
sc::DWORD gf_scPeriod(SimPeriod period);
std::optional<SimPeriod> gf_simPeriodFromSc(sc::DWORD period);
sc::DWORD gf_scObjectType(SimObjectType type);
std::optional<SimObjectType> gf_simObjectTypeFromSc(sc::DWORD type);
sc::DATA_INITPOSITION gf_scInitPosition(const SimInitPosition& position);
SimInitPosition gf_simInitPosition(const sc::DATA_INITPOSITION& position);

}  // namespace vdl
