#include "airports/bgl_view.h"

#include <fmt/format.h>

#include <cstring>

namespace vdl {

void BglBytes::need(uint64_t offset, uint64_t width) const {
    if (!holds(offset, width))
        throw BglBoundError(fmt::format("{} bytes at {} lie outside the {} of {} bytes", width, offset, what_, size_));
}

uint8_t BglBytes::u8(uint64_t offset) const {
    need(offset, 1);
    return data_[offset];
}

uint16_t BglBytes::u16(uint64_t offset) const {
    need(offset, 2);
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
}

uint32_t BglBytes::u32(uint64_t offset) const {
    need(offset, 4);
    const uint8_t* p = data_ + offset;
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

float BglBytes::f32(uint64_t offset) const {
    const uint32_t bits = u32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

BglBytes BglBytes::part(uint64_t offset, uint64_t size, const char* what) const {
    need(offset, size);
    return BglBytes(data_ + offset, size, what);
}

BglBytes BglBytes::tail(uint64_t offset, const char* what) const {
    if (offset >= size_) return BglBytes(data_, 0, what);
    return BglBytes(data_ + offset, size_ - offset, what);
}

BglBytes BglRecord::bytes(const char* what) const {
    if (step() < 0) throw BglBoundError(fmt::format("{} of negative size {}", what, size_));
    return area_.part(offset_, static_cast<uint64_t>(step()), what);
}

BglParking::BglParking(const BglBytes& entries, uint64_t offset)
    : bytes_(entries.part(offset, fixedBytes, "parking entry")) {
    bytes_ = entries.part(offset, fixedBytes + 4 * uint64_t{bytes_.u8(3)}, "parking entry");
}

}  // namespace vdl
