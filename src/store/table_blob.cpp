// Blob access. A row's blob is read from the file only when asked for, by
// record number; writes wait in the edit buffer until Post.

#include "store/table_impl.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::vector<uint8_t> ReadAll(std::istream& in)
{
    std::vector<uint8_t> bytes;
    char chunk[64 * 1024];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (in.bad())
        RaiseStoreError("Cannot read the blob's source stream");
    return bytes;
}

[[noreturn]] void RaiseFileError(const std::string& what, const std::filesystem::path& file)
{
    RaiseStoreError(what + " '" + file.string() + "': " + std::strerror(errno));
}

} // namespace

int TTable::TImpl::BlobColumn(const std::string& fieldName)
{
    CheckActive();
    const TField& field = Self.FieldByName(fieldName);
    if (field.DataType() != TFieldType::Blob || field.m_lookupTable)
        RaiseStoreError(Self.TableName() + ": Field '" + fieldName + "' is not a blob field");
    return field.m_column;
}

std::vector<uint8_t> TTable::TImpl::ReadBlobBytes(int column)
{
    if (Editing()) {
        auto pending = PendingBlobs.find(column);
        if (pending != PendingBlobs.end())
            return pending->second;
        if (State == TTableState::Insert)
            return {};
    }
    const int64_t rowId = CurrentRowId();
    if (rowId <= 0)
        return {};
    auto stmt = Db.Prepare("SELECT " + QuoteName(Columns[column].Name) + " FROM " + QuoteName(Self.TableName()) +
                           " WHERE rowid = ?");
    stmt.BindInt(1, rowId);
    return stmt.Step() ? stmt.Blob(0) : std::vector<uint8_t>();
}

int64_t TTable::TImpl::BlobLength(int column)
{
    if (Editing()) {
        auto pending = PendingBlobs.find(column);
        if (pending != PendingBlobs.end())
            return static_cast<int64_t>(pending->second.size());
        if (State == TTableState::Insert)
            return 0;
    }
    const int64_t rowId = CurrentRowId();
    if (rowId <= 0)
        return 0;
    // length() of a blob is taken from its header; the bytes are not read.
    auto stmt = Db.Prepare("SELECT length(" + QuoteName(Columns[column].Name) + ") FROM " +
                           QuoteName(Self.TableName()) + " WHERE rowid = ?");
    stmt.BindInt(1, rowId);
    return stmt.Step() ? stmt.Int(0) : 0;
}

bool TTable::TImpl::BlobIsNull(int column)
{
    if (Editing() && PendingBlobs.count(column))
        return false;
    const int64_t rowId = CurrentRowId();
    if (rowId <= 0)
        return true;
    auto stmt = Db.Prepare("SELECT typeof(" + QuoteName(Columns[column].Name) + ") = 'null' FROM " +
                           QuoteName(Self.TableName()) + " WHERE rowid = ?");
    stmt.BindInt(1, rowId);
    return !stmt.Step() || stmt.Int(0) != 0;
}

void TTable::TImpl::SetPendingBlob(int column, std::vector<uint8_t> bytes)
{
    PendingBlobs[column] = std::move(bytes);
}

namespace {

// A read stream over bytes it owns, read in place: a sample of a megabyte
// is not copied again on its way to the wave loader.
class TBytesBuffer : public std::streambuf {
public:
    explicit TBytesBuffer(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes))
    {
        char* begin = reinterpret_cast<char*>(m_bytes.data());
        setg(begin, begin, begin + m_bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override
    {
        if (!(which & std::ios_base::in))
            return pos_type(off_type(-1));
        const off_type base = direction == std::ios_base::beg   ? 0
                              : direction == std::ios_base::cur ? off_type(gptr() - eback())
                                                                : off_type(egptr() - eback());
        const off_type target = base + offset;
        if (target < 0 || target > off_type(egptr() - eback()))
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    std::vector<uint8_t> m_bytes;
};

class TBytesStream : public std::istream {
public:
    explicit TBytesStream(std::vector<uint8_t> bytes) : std::istream(nullptr), m_buffer(std::move(bytes))
    {
        rdbuf(&m_buffer);
    }

private:
    TBytesBuffer m_buffer;
};

} // namespace

std::unique_ptr<std::istream> TTable::CreateBlobReadStream(const std::string& fieldName)
{
    return std::make_unique<TBytesStream>(ReadBlob(fieldName));
}

std::vector<uint8_t> TTable::ReadBlob(const std::string& fieldName)
{
    auto& d = *m_impl;
    return d.ReadBlobBytes(d.BlobColumn(fieldName));
}

int64_t TTable::BlobSize(const std::string& fieldName)
{
    auto& d = *m_impl;
    return d.BlobLength(d.BlobColumn(fieldName));
}

void TTable::LoadBlobFromStream(const std::string& fieldName, std::istream& in)
{
    auto& d = *m_impl;
    const int column = d.BlobColumn(fieldName);
    d.CheckWritable(FieldByName(fieldName));
    d.SetPendingBlob(column, ReadAll(in));
}

void TTable::LoadBlobFromFile(const std::string& fieldName, const std::filesystem::path& file)
{
    auto& d = *m_impl;
    const int column = d.BlobColumn(fieldName);
    d.CheckWritable(FieldByName(fieldName));
    std::ifstream in(file, std::ios::binary);
    if (!in)
        RaiseFileError("Cannot open file", file);
    d.SetPendingBlob(column, ReadAll(in));
}

void TTable::WriteBlob(const std::string& fieldName, const std::vector<uint8_t>& bytes)
{
    auto& d = *m_impl;
    const int column = d.BlobColumn(fieldName);
    d.CheckWritable(FieldByName(fieldName));
    d.SetPendingBlob(column, bytes);
}

void TTable::SaveBlobToFile(const std::string& fieldName, const std::filesystem::path& file)
{
    const auto bytes = ReadBlob(fieldName);
    // Written beside the target and renamed over it, so a failure never
    // leaves a half-written file under the real name.
    std::filesystem::path temp = file;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            RaiseFileError("Cannot create file", temp);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            RaiseFileError("Cannot write file", temp);
        }
    }
    std::error_code error;
    std::filesystem::rename(temp, file, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        RaiseStoreError("Cannot replace file '" + file.string() + "': " + error.message());
    }
}
