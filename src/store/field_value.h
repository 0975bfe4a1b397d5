#pragma once
// Internal to the store: conversions between stored values and the typed
// field accessors, and the value order the indexes sort by.

#include "store/database.h"
#include "store/sql_statement.h"

#include <cstdint>
#include <string>

// The first `chars` code points of UTF-8 text; chars <= 0 keeps it whole.
std::string CutToChars(const std::string& text, int chars);

// Reading: empty values give "", 0, 0.0 and false; text that does not parse
// raises EStoreError.
std::string ValueToText(const TValue& value, TFieldType type);
int64_t ValueToInteger(const TValue& value);
double ValueToFloat(const TValue& value);
bool ValueToBoolean(const TValue& value);

// Writing: the value stored for a column of the given type, with 16- and
// 32-bit ranges checked and text cut to `size` characters.
TValue StoreInteger(TFieldType type, int size, int64_t value, const std::string& fieldName);
TValue StoreFloat(TFieldType type, int size, double value, const std::string& fieldName);
TValue StoreBoolean(TFieldType type, int size, bool value);
TValue StoreText(TFieldType type, int size, const std::string& text, const std::string& fieldName);

// SQLite's ascending order: empty, then numbers, then text (bytewise).
int CompareValues(const TValue& a, const TValue& b);
// True where SQLite's "=" would hold between a column value and an integer.
bool ValueEquals(const TValue& value, int64_t number);

// The store's own reading of a declared column type.
TFieldType FieldTypeFromDecl(const std::string& declaredType, bool rowIdKey, int& size);
