#pragma once

#include <string>
#include <string_view>

namespace vdl {

// UTF-16 to UTF-8, surrogate pairs joined; an unpaired surrogate becomes U+FFFD.
std::string gf_utf16ToUtf8(std::u16string_view text);
// The same from raw bytes in the given byte order; a dangling last byte becomes U+FFFD.
std::string gf_utf16BytesToUtf8(std::string_view bytes, bool bigEndian);
// Text of a file without byte-order mark: kept when it is valid UTF-8, else read as Windows-1252
// (the simulator's "ANSI" files) and converted.
std::string gf_ansiToUtf8(std::string_view bytes);
// The same line by line: a line that is valid UTF-8 stays, another is read as Windows-1252
// (edited files mix them).
std::string gf_mixedLinesToUtf8(std::string_view bytes);
bool gf_isValidUtf8(std::string_view bytes);
// Text made safe to show and pass on: every control character and every byte of no valid UTF-8
// sequence becomes '?'.
std::string gf_printableText(std::string_view bytes);
// The same for Log.txt, where the bytes stay readable: each such byte becomes "\xNN"; line
// breaks and tabs stay.
std::string gf_escapedForLog(std::string_view bytes);

// A code point of Unicode's White_Space property or of category Cf (format characters such as
// U+00A0 no-break space, U+200E left-to-right mark, U+FEFF).
bool gf_isInvisible(char32_t cp);
// The text without invisible characters at both ends. Bytes of no valid UTF-8 sequence stay.
std::string_view gf_trimInvisible(std::string_view text);

}  // namespace vdl
