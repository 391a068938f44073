// The list of live aircraft: a vector in order of creation with an index by hexid kept on every
// append and erase, so that intake and the look-ups by hexid do not walk a regional fleet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "traffic/records.h"

namespace vdl {

class LiveAcList {
public:
    using value_type = LiveAc;
    using iterator = std::vector<LiveAc>::iterator;
    using const_iterator = std::vector<LiveAc>::const_iterator;

    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    size_t capacity() const { return items_.capacity(); }
    void reserve(size_t n);
    LiveAc& operator[](size_t i) { return items_[i]; }
    const LiveAc& operator[](size_t i) const { return items_[i]; }
    LiveAc& front() { return items_.front(); }
    LiveAc& back() { return items_.back(); }
    const LiveAc& front() const { return items_.front(); }
    const LiveAc& back() const { return items_.back(); }

    // A record's hexid must not change once it is in the list.
    template <typename... Args>
    LiveAc& emplace_back(Args&&... args) {
        LiveAc& ac = items_.emplace_back(std::forward<Args>(args)...);
        indexLast();
        return ac;
    }
    void push_back(const LiveAc& ac) { emplace_back(ac); }
    void push_back(LiveAc&& ac) { emplace_back(std::move(ac)); }

    void clear();
    // Erases the records flagged `erase`, keeping the order of the rest; answers how many went.
    size_t eraseFlagged();
    // Erases one record by moving the last one into its place.
    void eraseUnordered(LiveAc* record);
    // Empties the list and gives its memory back.
    void release();

    // The first record with the hexid; null when none.
    LiveAc* findHexid(uint32_t hexid);

    // Changes whenever records are erased, that is whenever positions in the list move;
    // appending keeps it.
    uint64_t generation() const { return generation_; }

private:
    struct Slot {
        uint32_t hexid = 0;
        uint32_t pos = emptySlot;
    };
    static constexpr uint32_t emptySlot = UINT32_MAX;

    void indexLast();
    void rebuildIndex();
    // Enters the position unless the hexid is indexed already (the first record wins).
    void indexInsert(uint32_t hexid, uint32_t pos);
    size_t homeSlot(uint32_t hexid) const;

    std::vector<LiveAc> items_;
    std::vector<uint32_t> hexids_;  // the hexid of each record, in the same order
    std::vector<Slot> table_;       // open addressing, a power of two at least twice the records
    uint64_t generation_ = 0;
};

}  // namespace vdl
