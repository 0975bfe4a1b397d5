#include "package/package_content.h"

#include "package/pack_stream.h"

#include <algorithm>
#include <cstring>

namespace {

// Windows-1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined stand for the C1 controls of the same number, so that every byte
// survives a trip through UTF-8 and back.
constexpr char32_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePoint(uint8_t byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char32_t{byte};
}

uint8_t CodePageByte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<uint8_t>(c);
    for (size_t i = 0; i < std::size(HighControls); ++i)
        if (HighControls[i] == c)
            return static_cast<uint8_t>(0x80 + i);
    return '?';
}

constexpr char32_t NoCharacter = 0xFFFFFFFF;

// The character starting at text[at] and its length; NoCharacter with
// length 1 for a byte that does not start a well-formed sequence (a stray
// continuation, an overlong form, a surrogate, a value past U+10FFFF or a
// sequence cut by the end of the text).
char32_t DecodeUtf8(const std::string& text, size_t at, size_t& length)
{
    length = 1;
    const auto lead = static_cast<uint8_t>(text[at]);
    if (lead < 0x80)
        return lead;
    size_t count = 0;
    char32_t c = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        count = 2;
        c = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        c = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        c = lead & 0x07;
        least = 0x10000;
    } else {
        return NoCharacter;
    }
    if (text.size() - at < count)
        return NoCharacter;
    for (size_t i = 1; i < count; ++i) {
        const auto next = static_cast<uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return NoCharacter;
        c = c << 6 | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return NoCharacter;
    length = count;
    return c;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Windows-1252 reaches no further than the Basic Multilingual Plane.
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

void WriteShortString(uint8_t* field, const std::string& utf8)
{
    std::memset(field, 0, ShortStringField);
    size_t length = 0;
    for (size_t at = 0; at < utf8.size() && length < ShortStringMax;) {
        size_t used = 1;
        const char32_t c = DecodeUtf8(utf8, at, used);
        field[1 + length++] = c == NoCharacter ? '?' : CodePageByte(c);
        at += used;
    }
    field[0] = static_cast<uint8_t>(length);
}

std::string ReadShortString(const uint8_t* field)
{
    const size_t length = field[0];
    if (length > ShortStringMax)
        throw EPackageFormatError("A name's length byte is " + std::to_string(length) + "; at most " +
                                  std::to_string(ShortStringMax) + " characters fit.");
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i)
        AppendUtf8(out, CodePoint(field[1 + i]));
    return out;
}

std::vector<uint8_t> ReadPackageContent(const std::string& path, IClock& clock)
{
    TPackFileStream in(path, PackModeReadOnly, PackagePassword, PackageLevel, PackageGap, clock);
    // A read-only open serves what is left of a cut container; a package
    // missing its end must not pass for a shorter one.
    if (in.CutShort())
        throw EPackError("The package file " + path + " is cut short.");
    std::vector<uint8_t> content;
    // A container's size is what its headers claim, so only a plain file's
    // (the bytes really there) may size the buffer in advance.
    if (in.IsPlain())
        content.reserve(static_cast<size_t>(in.Size()));
    in.CopyTo([&content](const uint8_t* data, size_t size) { content.insert(content.end(), data, data + size); });
    if (content.size() != in.Size())
        throw EPackError("The package file " + path + " is cut short.");
    return content;
}
