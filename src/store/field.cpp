// Typed field access to the current row, and lookup fields.

#include "store/table_impl.h"

#include <limits>

TValue TTable::TImpl::ReadField(const TField& field)
{
    CheckActive();
    if (field.m_lookupTable)
        return LookupValue(field);
    if (field.m_type == TFieldType::Blob) {
        auto bytes = ReadBlobBytes(field.m_column);
        return std::string(bytes.begin(), bytes.end());
    }
    return CurrentValue(field.m_column);
}

void TTable::TImpl::CheckWritable(const TField& field) const
{
    CheckActive();
    if (!Editing())
        RaiseStoreError(Self.TableName() + ": Table is not in edit or insert mode (writing field '" + field.FieldName() + "')");
    if (field.m_lookupTable || field.m_type == TFieldType::AutoInc)
        RaiseStoreError(Self.TableName() + ": Field '" + field.FieldName() + "' cannot be modified");
}

void TTable::TImpl::StoreField(const TField& field, TValue value)
{
    if (field.m_type == TFieldType::Blob) {
        const std::string text = ValueToText(value, TFieldType::Blob);
        SetPendingBlob(field.m_column, std::vector<uint8_t>(text.begin(), text.end()));
        return;
    }
    Buffer.Values[field.m_column] = std::move(value);
    Dirty[field.m_column] = true;
}

TValue TTable::TImpl::LookupValue(const TField& field)
{
    const TValue key = CurrentValue(ColumnIndex(field.m_lookupKeyField));
    if (std::holds_alternative<std::monostate>(key))
        return std::monostate{};
    // Straight to the file: the lookup table's own cursor and rows stay put.
    auto stmt = Db.Prepare("SELECT " + QuoteName(field.m_lookupResultColumn) + " FROM " +
                           QuoteName(LookupTables.at(&field)) + " WHERE " + QuoteName(field.m_lookupKeyColumn) +
                           " = ? ORDER BY rowid LIMIT 1");
    stmt.Bind(1, key);
    return stmt.Step() ? stmt.Value(0) : TValue{};
}

bool TField::IsNull() const
{
    auto& d = *m_table->m_impl;
    if (m_type == TFieldType::Blob && !m_lookupTable) {
        d.CheckActive();
        return d.BlobIsNull(m_column);
    }
    return std::holds_alternative<std::monostate>(d.ReadField(*this));
}

std::string TField::AsString() const
{
    TValue value = m_table->m_impl->ReadField(*this);
    // Text is handed over as it is, without a second copy.
    if (auto* text = std::get_if<std::string>(&value))
        return std::move(*text);
    return ValueToText(value, m_lookupTable ? TFieldType::String : m_type);
}

int32_t TField::AsInteger() const
{
    const int64_t value = ValueToInteger(m_table->m_impl->ReadField(*this));
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        RaiseStoreError(std::to_string(value) + " is out of range for an integer (field '" + m_name + "')");
    return static_cast<int32_t>(value);
}

double TField::AsFloat() const
{
    return ValueToFloat(m_table->m_impl->ReadField(*this));
}

bool TField::AsBoolean() const
{
    return ValueToBoolean(m_table->m_impl->ReadField(*this));
}

void TField::SetAsString(const std::string& value)
{
    auto& d = *m_table->m_impl;
    d.CheckWritable(*this);
    d.StoreField(*this, StoreText(m_type, m_size, value, m_name));
}

void TField::SetAsInteger(int32_t value)
{
    auto& d = *m_table->m_impl;
    d.CheckWritable(*this);
    d.StoreField(*this, StoreInteger(m_type, m_size, value, m_name));
}

void TField::SetAsFloat(double value)
{
    auto& d = *m_table->m_impl;
    d.CheckWritable(*this);
    d.StoreField(*this, StoreFloat(m_type, m_size, value, m_name));
}

void TField::SetAsBoolean(bool value)
{
    auto& d = *m_table->m_impl;
    d.CheckWritable(*this);
    d.StoreField(*this, StoreBoolean(m_type, m_size, value));
}

void TField::Clear()
{
    auto& d = *m_table->m_impl;
    d.CheckWritable(*this);
    d.StoreField(*this, std::monostate{});
}
