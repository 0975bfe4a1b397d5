#pragma once
// What scheme packages (.amx) and category packages (.amc) have in common:
// the container they travel in, and the short strings of their records.
//
// A package is the logical content of a container (pack_stream.h) created
// with mode 0xFFFF, the password "Quorlentix", level 2 and gap 0, and read
// with mode 0 and the same password. Integers are little-endian.

#include "base/clock.h"
#include "base/error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The content does not hold what its sizes and counts claim (or a field
// holds a value no writer gives).
class EPackageFormatError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

constexpr const char* PackagePassword = "Quorlentix";
constexpr uint8_t PackageLevel = 2;
constexpr uint32_t PackageGap = 0;

// A short string field: one length byte L (0 to 250) and L characters of the
// single-byte code page (Windows-1252), in 251 bytes.
constexpr size_t ShortStringField = 251;
constexpr size_t ShortStringMax = 250;
// UTF-8 text into a field: each character in Windows-1252, '?' for one it
// cannot hold, cut to 250 characters; the rest of the field is zeros.
void WriteShortString(uint8_t* field, const std::string& utf8);
// A field back to UTF-8. A length byte above 250 raises EPackageFormatError.
std::string ReadShortString(const uint8_t* field);

// The whole content of a package file, read in one pass. Raises EPackError
// for the container's own failures (wrong password, damaged block) and for
// a container whose blocks are cut short; a file that is not a container is
// its own content (the plain fallback).
std::vector<uint8_t> ReadPackageContent(const std::string& path, IClock& clock = DefaultClock());
