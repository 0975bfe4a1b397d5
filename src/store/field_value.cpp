#include "store/field_value.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <limits>

namespace {

std::string Trim(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string FloatText(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool ParseInteger(const std::string& text, int64_t& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    auto result = std::from_chars(begin, end, value);
    return begin != end && result.ec == std::errc() && result.ptr == end;
}

bool ParseFloat(const std::string& text, double& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    auto result = std::from_chars(begin, end, value);
    return begin != end && result.ec == std::errc() && result.ptr == end;
}

bool ParseBoolean(const std::string& text, bool& value)
{
    const std::string word = Upper(Trim(text));
    if (word == "TRUE" || word == "T" || word == "YES" || word == "Y") {
        value = true;
        return true;
    }
    if (word == "FALSE" || word == "F" || word == "NO" || word == "N" || word.empty()) {
        value = false;
        return true;
    }
    int64_t number = 0;
    if (!ParseInteger(word, number))
        return false;
    value = number != 0;
    return true;
}

void CheckRange(TFieldType type, int64_t value, const std::string& fieldName)
{
    int64_t low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    if (type == TFieldType::SmallInt) {
        low = -32768;
        high = 32767;
    } else if (type == TFieldType::Word) {
        low = 0;
        high = 65535;
    }
    if (value < low || value > high)
        RaiseStoreError(std::to_string(value) + " is not a valid value for field '" + fieldName + "'. The allowed range is " +
                        std::to_string(low) + " to " + std::to_string(high));
}

int TypeClass(const TValue& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return 0;
    if (std::holds_alternative<std::string>(value))
        return 2;
    return 1;
}

} // namespace

std::string CutToChars(const std::string& text, int chars)
{
    if (chars <= 0)
        return text;
    int seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Continuation bytes (10xxxxxx) never start a character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == chars)
            return text.substr(0, i);
    }
    return text;
}

std::string ValueToText(const TValue& value, TFieldType type)
{
    if (std::holds_alternative<std::monostate>(value))
        return {};
    if (type == TFieldType::Boolean && !std::holds_alternative<std::string>(value))
        return ValueToBoolean(value) ? "True" : "False";
    if (auto* i = std::get_if<int64_t>(&value))
        return std::to_string(*i);
    if (auto* d = std::get_if<double>(&value))
        return FloatText(*d);
    return std::get<std::string>(value);
}

int64_t ValueToInteger(const TValue& value)
{
    if (auto* i = std::get_if<int64_t>(&value))
        return *i;
    if (auto* d = std::get_if<double>(&value)) {
        if (!std::isfinite(*d) || std::fabs(*d) > 9.2e18)
            RaiseStoreError(FloatText(*d) + " is not a valid integer value");
        return static_cast<int64_t>(std::nearbyint(*d)); // halves to even
    }
    if (auto* s = std::get_if<std::string>(&value)) {
        const std::string text = Trim(*s);
        int64_t number = 0;
        if (text.empty())
            return 0;
        if (!ParseInteger(text, number))
            RaiseStoreError("'" + *s + "' is not a valid integer value");
        return number;
    }
    return 0;
}

double ValueToFloat(const TValue& value)
{
    if (auto* i = std::get_if<int64_t>(&value))
        return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&value))
        return *d;
    if (auto* s = std::get_if<std::string>(&value)) {
        const std::string text = Trim(*s);
        double number = 0;
        if (text.empty())
            return 0;
        if (!ParseFloat(text, number))
            RaiseStoreError("'" + *s + "' is not a valid floating point value");
        return number;
    }
    return 0;
}

bool ValueToBoolean(const TValue& value)
{
    if (auto* i = std::get_if<int64_t>(&value))
        return *i != 0;
    if (auto* d = std::get_if<double>(&value))
        return *d != 0;
    if (auto* s = std::get_if<std::string>(&value)) {
        bool flag = false;
        if (!ParseBoolean(*s, flag))
            RaiseStoreError("'" + *s + "' is not a valid boolean value");
        return flag;
    }
    return false;
}

TValue StoreInteger(TFieldType type, int size, int64_t value, const std::string& fieldName)
{
    switch (type) {
    case TFieldType::String:
        return CutToChars(std::to_string(value), size);
    case TFieldType::Float:
        return static_cast<double>(value);
    case TFieldType::Boolean:
        return int64_t{value != 0};
    case TFieldType::Blob:
        RaiseStoreError("Field '" + fieldName + "' cannot hold an integer");
    default:
        CheckRange(type, value, fieldName);
        return value;
    }
}

TValue StoreFloat(TFieldType type, int size, double value, const std::string& fieldName)
{
    switch (type) {
    case TFieldType::String:
        return CutToChars(FloatText(value), size);
    case TFieldType::Float:
        return value;
    case TFieldType::Boolean:
        return int64_t{value != 0};
    default:
        return StoreInteger(type, size, ValueToInteger(value), fieldName);
    }
}

TValue StoreBoolean(TFieldType type, int size, bool value)
{
    if (type == TFieldType::String)
        return CutToChars(value ? "True" : "False", size);
    if (type == TFieldType::Float)
        return value ? 1.0 : 0.0;
    return int64_t{value};
}

TValue StoreText(TFieldType type, int size, const std::string& text, const std::string& fieldName)
{
    if (type == TFieldType::String)
        return CutToChars(text, size);
    // Clearing a number's text leaves the column empty.
    if (Trim(text).empty())
        return std::monostate{};
    if (type == TFieldType::Float)
        return ValueToFloat(text);
    if (type == TFieldType::Boolean)
        return int64_t{ValueToBoolean(text)};
    return StoreInteger(type, size, ValueToInteger(text), fieldName);
}

int CompareValues(const TValue& a, const TValue& b)
{
    const int ca = TypeClass(a), cb = TypeClass(b);
    if (ca != cb)
        return ca < cb ? -1 : 1;
    if (ca == 0)
        return 0;
    if (ca == 2) {
        const int order = std::get<std::string>(a).compare(std::get<std::string>(b));
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    if (std::holds_alternative<int64_t>(a) && std::holds_alternative<int64_t>(b)) {
        const int64_t x = std::get<int64_t>(a), y = std::get<int64_t>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const double x = ValueToFloat(a), y = ValueToFloat(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

bool ValueEquals(const TValue& value, int64_t number)
{
    return TypeClass(value) == 1 && CompareValues(value, number) == 0;
}

TFieldType FieldTypeFromDecl(const std::string& declaredType, bool rowIdKey, int& size)
{
    const std::string decl = Upper(Trim(declaredType));
    size = 0;
    if (rowIdKey)
        return TFieldType::AutoInc;
    const size_t open = decl.find('(');
    const std::string base = Trim(decl.substr(0, open));
    if (open != std::string::npos)
        size = std::atoi(decl.c_str() + open + 1);
    if (base == "SMALLINT")
        return TFieldType::SmallInt;
    if (base == "WORD")
        return TFieldType::Word;
    if (base == "BOOLEAN" || base == "BOOL")
        return TFieldType::Boolean;
    // Anything else by SQLite's own affinity rules.
    if (base.find("INT") != std::string::npos) {
        size = 0;
        return TFieldType::Integer;
    }
    if (base.find("CHAR") != std::string::npos || base.find("CLOB") != std::string::npos ||
        base.find("TEXT") != std::string::npos)
        return TFieldType::String;
    size = 0;
    if (base.empty() || base.find("BLOB") != std::string::npos)
        return TFieldType::Blob;
    return TFieldType::Float;
}
