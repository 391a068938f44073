#include "traffic/live_list.h"

#include <algorithm>
#include <utility>

namespace vdl {

namespace {

constexpr size_t minTableSize = 64;

}  // namespace

void LiveAcList::reserve(size_t n) {
    items_.reserve(n);
    hexids_.reserve(n);
}

size_t LiveAcList::homeSlot(uint32_t hexid) const {
    // Fibonacci hashing: feed hexids are dense runs of numbers.
    return static_cast<size_t>((hexid * 0x9E3779B1u) >> 7) & (table_.size() - 1);
}

void LiveAcList::indexInsert(uint32_t hexid, uint32_t pos) {
    for (size_t i = homeSlot(hexid);; i = (i + 1) & (table_.size() - 1)) {
        Slot& s = table_[i];
        if (s.pos == emptySlot) {
            s = Slot{hexid, pos};
            return;
        }
        if (s.hexid == hexid) return;
    }
}

void LiveAcList::rebuildIndex() {
    size_t n = minTableSize;
    while (n < 2 * hexids_.size()) n *= 2;
    if (table_.size() != n) table_.assign(n, Slot{});
    else std::fill(table_.begin(), table_.end(), Slot{});
    for (size_t i = 0; i < hexids_.size(); ++i) indexInsert(hexids_[i], static_cast<uint32_t>(i));
}

void LiveAcList::indexLast() {
    const uint32_t hexid = items_.back().identity.hexid;
    hexids_.push_back(hexid);
    if (table_.size() < 2 * hexids_.size()) rebuildIndex();
    else indexInsert(hexid, static_cast<uint32_t>(hexids_.size() - 1));
}

void LiveAcList::clear() {
    items_.clear();
    hexids_.clear();
    std::fill(table_.begin(), table_.end(), Slot{});
    ++generation_;
}

size_t LiveAcList::eraseFlagged() {
    size_t kept = 0;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].erase) hexids_[kept++] = hexids_[i];
    const size_t gone = hexids_.size() - kept;
    if (gone == 0) return 0;
    hexids_.resize(kept);
    std::erase_if(items_, [](const LiveAc& ac) { return ac.erase; });
    ++generation_;
    rebuildIndex();
    return gone;
}

void LiveAcList::eraseUnordered(LiveAc* record) {
    const auto i = static_cast<size_t>(record - items_.data());
    if (i + 1 != items_.size()) {
        items_[i] = std::move(items_.back());
        hexids_[i] = hexids_.back();
    }
    items_.pop_back();
    hexids_.pop_back();
    ++generation_;
    rebuildIndex();
}

void LiveAcList::release() {
    std::vector<LiveAc>().swap(items_);
    std::vector<uint32_t>().swap(hexids_);
    std::vector<Slot>().swap(table_);
    ++generation_;
}

LiveAc* LiveAcList::findHexid(uint32_t hexid) {
    if (table_.empty()) return nullptr;
    for (size_t i = homeSlot(hexid);; i = (i + 1) & (table_.size() - 1)) {
        const Slot& s = table_[i];
        if (s.pos == emptySlot) return nullptr;
        if (s.hexid == hexid) return &items_[s.pos];
    }
}

}  // namespace vdl
