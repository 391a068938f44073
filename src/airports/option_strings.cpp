#include "airports/option_strings.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace vdl {

namespace {

constexpr size_t heapHeader = OptionStrings::fieldCount * sizeof(uint32_t);

uint32_t lf_heapLength(const char* block, size_t i) {
    uint32_t n = 0;
    std::memcpy(&n, block + i * sizeof(uint32_t), sizeof n);
    return n;
}

size_t lf_heapBlockSize(const char* block) {
    size_t total = heapHeader;
    for (size_t i = 0; i < OptionStrings::fieldCount; ++i) total += lf_heapLength(block, i);
    return total;
}

}  // namespace

char* OptionStrings::heap() const {
    char* p = nullptr;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
}

void OptionStrings::release() noexcept {
    if (onHeap()) delete[] heap();
}

OptionStrings::OptionStrings(const OptionStrings& other) {
    if (!other.onHeap()) {
        std::memcpy(bytes_, other.bytes_, blockBytes);
        return;
    }
    const char* from = other.heap();
    const size_t size = lf_heapBlockSize(from);
    char* block = new char[size];
    std::memcpy(block, from, size);
    std::memcpy(bytes_, &block, sizeof block);
    bytes_[flagAt] = 1;
}

OptionStrings::OptionStrings(OptionStrings&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, blockBytes);
    std::memset(other.bytes_, 0, blockBytes);
}

OptionStrings& OptionStrings::operator=(const OptionStrings& other) {
    if (this != &other) {
        OptionStrings copy(other);
        *this = std::move(copy);
    }
    return *this;
}

OptionStrings& OptionStrings::operator=(OptionStrings&& other) noexcept {
    if (this != &other) {
        release();
        std::memcpy(bytes_, other.bytes_, blockBytes);
        std::memset(other.bytes_, 0, blockBytes);
    }
    return *this;
}

std::string_view OptionStrings::get(OptionField f) const {
    const auto index = static_cast<size_t>(f);
    if (onHeap()) {
        const char* block = heap();
        size_t offset = heapHeader;
        for (size_t i = 0; i < index; ++i) offset += lf_heapLength(block, i);
        return {block + offset, lf_heapLength(block, index)};
    }
    size_t offset = 0;
    for (size_t i = 0; i < index; ++i) offset += bytes_[lengthsAt + i];
    return {reinterpret_cast<const char*>(bytes_) + offset, bytes_[lengthsAt + index]};
}

OptionStrings::Values OptionStrings::values() const {
    Values v;
    for (size_t i = 0; i < fieldCount; ++i) v[i] = get(static_cast<OptionField>(i));
    return v;
}

void OptionStrings::set(OptionField f, std::string_view value) {
    Values v = values();
    v[static_cast<size_t>(f)] = value;
    assign(v);
}

void OptionStrings::assign(const Values& values) {
    size_t total = 0;
    for (const std::string_view s : values) total += s.size();
    // Built apart first: the values may lie in this object's own storage.
    unsigned char built[blockBytes] = {};
    static_assert(inlineChars <= std::numeric_limits<unsigned char>::max(), "inline lengths are single bytes");
    if (total <= inlineChars) {
        size_t offset = 0;
        for (size_t i = 0; i < fieldCount; ++i) {
            if (!values[i].empty()) std::memcpy(built + offset, values[i].data(), values[i].size());
            offset += values[i].size();
            built[lengthsAt + i] = static_cast<unsigned char>(values[i].size());
        }
    } else {
        for (const std::string_view s : values)
            if (s.size() > std::numeric_limits<uint32_t>::max()) throw std::length_error("option string too long");
        char* block = new char[heapHeader + total];
        size_t offset = heapHeader;
        for (size_t i = 0; i < fieldCount; ++i) {
            const auto n = static_cast<uint32_t>(values[i].size());
            std::memcpy(block + i * sizeof(uint32_t), &n, sizeof n);
            if (n != 0) std::memcpy(block + offset, values[i].data(), n);
            offset += n;
        }
        std::memcpy(built, &block, sizeof block);
        built[flagAt] = 1;
    }
    release();
    std::memcpy(bytes_, built, blockBytes);
}

}  // namespace vdl
