// The five strings of a stand option in one small block: inside the record when together they
// are short, as airline codes, types, registrations and callsigns are, else in one allocation.
// A learned file holds tens of thousands of options; five std::string each took 160 bytes a
// record, and fresh memory is what the first load of an airport pays for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vdl {

enum class OptionField : uint8_t { airline, type, reg, callsign1, callsign2 };

class OptionStrings {
public:
    static constexpr size_t fieldCount = 5;
    using Values = std::array<std::string_view, fieldCount>;

    OptionStrings() noexcept = default;
    OptionStrings(const OptionStrings& other);
    OptionStrings(OptionStrings&& other) noexcept;
    OptionStrings& operator=(const OptionStrings& other);
    OptionStrings& operator=(OptionStrings&& other) noexcept;
    ~OptionStrings() { release(); }

    // Valid until the next change of this object.
    std::string_view get(OptionField f) const;
    // Any length; the value may be one of this object's own.
    void set(OptionField f, std::string_view value);
    // All five at once, in the order of OptionField.
    void assign(const Values& values);
    Values values() const;
    // Whether the strings live outside the record.
    bool onHeap() const { return bytes_[flagAt] != 0; }

private:
    // Inline: the characters one after the other from 0, the five lengths from lengthsAt.
    // On the heap: a pointer at 0 to five uint32_t lengths followed by the characters.
    static constexpr size_t blockBytes = 39;
    static constexpr size_t flagAt = blockBytes - 1;
    static constexpr size_t lengthsAt = flagAt - fieldCount;
    static constexpr size_t inlineChars = lengthsAt;

    char* heap() const;
    void release() noexcept;

    unsigned char bytes_[blockBytes] = {};
};

}  // namespace vdl
