#pragma once

#include <string>
#include <string_view>

namespace vdl {

// UTF-16 to UTF-8, surrogate pairs joined; an unpaired surrogate becomes U+FFFD.
std::string gf_utf16ToUtf8(std::u16string_view text);
// The same from raw bytes in the given byte order; a dangling last byte becomes U+FFFD.
std::string gf_utf16BytesToUtf8(std::string_view bytes, bool bigEndian);

}  // namespace vdl
