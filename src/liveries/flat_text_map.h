// A hash map from text to a value for the livery tables' large indexes (200,000 titles, as many
// registrations): the entries lie in one vector in insertion order and the slots hold their
// positions, so a build allocates a few blocks instead of a node per entry, and a clear frees
// them at once. Looked up with any std::string_view. Growing may move the entries: iterators
// and references are valid until the next insertion, as with a rehash of std::unordered_map.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vdl {

// Key: std::string (owns its text) or std::string_view (text that outlives the map).
template <typename Key, typename Value>
class FlatTextMap {
  public:
    using value_type = std::pair<Key, Value>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // Everything freed, not only emptied.
    void clear() {
        entries_ = {};
        hashes_ = {};
        slots_ = {};
    }
    void reserve(size_t count) {
        entries_.reserve(count);
        hashes_.reserve(count);
        if (2 * count > slots_.size()) rehash(std::bit_ceil(2 * count));
    }

    iterator find(std::string_view key) {
        const size_t at = findAt(key, std::hash<std::string_view>{}(key));
        return at == npos ? end() : begin() + static_cast<std::ptrdiff_t>(at);
    }
    const_iterator find(std::string_view key) const {
        const size_t at = findAt(key, std::hash<std::string_view>{}(key));
        return at == npos ? end() : begin() + static_cast<std::ptrdiff_t>(at);
    }
    size_t count(std::string_view key) const { return find(key) == end() ? 0 : 1; }
    const Value& at(std::string_view key) const {
        const auto it = find(key);
        if (it == end()) throw std::out_of_range("FlatTextMap::at");
        return it->second;
    }

    // The entry of the key, inserted with the value when there is none.
    std::pair<iterator, bool> try_emplace(std::string_view key, Value value) {
        const size_t hash = std::hash<std::string_view>{}(key);
        const size_t at = findAt(key, hash);
        if (at != npos) return {begin() + static_cast<std::ptrdiff_t>(at), false};
        if (2 * (entries_.size() + 1) > slots_.size())
            rehash(std::bit_ceil(std::max<size_t>(16, 4 * entries_.size())));
        entries_.emplace_back(Key(key), std::move(value));
        hashes_.push_back(hash);
        place(hash, static_cast<uint32_t>(entries_.size()));
        return {end() - 1, true};
    }

  private:
    static constexpr size_t npos = static_cast<size_t>(-1);

    size_t findAt(std::string_view key, size_t hash) const {
        if (slots_.empty()) return npos;
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint32_t slot = slots_[i];
            if (slot == 0) return npos;
            if (hashes_[slot - 1] == hash && std::string_view(entries_[slot - 1].first) == key) return slot - 1;
        }
    }
    // Linear probing; slots hold positions plus one, 0 is free.
    void place(size_t hash, uint32_t slot) {
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
    void rehash(size_t slotCount) {
        slots_.assign(slotCount, 0);
        for (size_t e = 0; e < hashes_.size(); ++e) place(hashes_[e], static_cast<uint32_t>(e + 1));
    }

    std::vector<value_type> entries_;
    std::vector<size_t> hashes_;
    std::vector<uint32_t> slots_;  // at most half full
};

}  // namespace vdl
