// Single-byte text. Files and the wire carry Windows-1252 text, one byte per character; the engine
// keeps it as bytes in std::string and converts only where a person reads or types it.
#pragma once

#include <string>
#include <string_view>

namespace skyvox {

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same value, as Windows itself does.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. Characters the code page cannot hold, and malformed UTF-8, become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// UTF-16 <-> UTF-8 (names and passwords on the wire, file names on Windows). Unpaired surrogates and
// invalid UTF-8 become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// ASCII-only case folding, as used for file names and the design's upper/lower-cased comparisons.
std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Upper and lower case of Windows-1252 text as the platform's UCase/LCase give them: ASCII letters,
// the accented Latin letters (0xE0..0xFE but 0xF7 and their capitals), and the pairs S/s, Z/z, OE/oe
// with caron or ligature (0x8A/0x9A, 0x8E/0x9E, 0x8C/0x9C) and Y diaeresis (0x9F/0xFF).
std::string UpperCaseCp1252(std::string_view text);
std::string LowerCaseCp1252(std::string_view text);

// Removes every occurrence of `what` from `text` as the platform's Replace(text, what, "") does: left to
// right, and text joined by a removal is not searched again ("bbcc" less "bc" is "bc").
void RemoveEvery(std::string& text, std::string_view what);

}  // namespace skyvox
