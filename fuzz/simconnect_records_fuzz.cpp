// The records SimConnect.dll hands the program: whatever the bytes, a record is translated,
// passed over or refused, never read past its end; a translated one reads the same again once
// written back.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "simulator/simconnect_records.h"

using namespace vdl;
using fuzz::gf_expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so that a read past it is caught.
    std::vector<uint8_t> record(data, data + size);
    SimRecv m;
    if (gf_simRecvFromRecord(record.data(), record.size(), m) != RecordResult::Translated) return 0;
    uint32_t claimed = 0;
    std::memcpy(&claimed, record.data(), sizeof claimed);
    if (m.id == SimRecvId::SimObjectData || m.id == SimRecvId::SimObjectDataByType)
        gf_expect(m.data.size() + 40 == claimed, "data block not what the record's size leaves");
    const auto again = gf_recordFromSimRecv(m);
    SimRecv back;
    gf_expect(gf_simRecvFromRecord(again.data(), again.size(), back) == RecordResult::Translated,
              "a written record does not read back");
    gf_expect(back.id == m.id && back.objectId == m.objectId && back.requestId == m.requestId &&
                  back.eventId == m.eventId && back.data == m.data && back.applicationName == m.applicationName &&
                  back.fileName == m.fileName && back.exception == m.exception,
              "a record reads differently once written back");
    return 0;
}
