#include "package/pack_stream.h"

#include <bzlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

void Put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Get32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

[[noreturn]] void Fail(const std::string& message) { throw EPackError(message); }

// The file system's texts end in the file name ("Cannot open file %s").
std::string Format(const char* pattern, const std::string& argument)
{
    std::string text(pattern);
    text.resize(text.size() - 2);
    return text + argument;
}

const uint8_t Signature[4] = {'A', 'A', 'C', 'S'};

// A clock that does not move would hold the password loop forever; after
// this many reads of one unchanged time the loop gives up waiting.
constexpr int StuckClockReads = 200000;
constexpr int64_t PasswordWaitMs = 256;

void CheckPlainBytes(uint8_t out[PackCheckBlockSize])
{
    for (size_t i = 0; i < PackCheckBlockSize; ++i)
        out[i] = static_cast<uint8_t>(i);
}

} // namespace

void TPackHeader::Encode(uint8_t out[PackHeaderSize]) const
{
    std::memset(out, 0, PackHeaderSize);
    std::memcpy(out, Signature, 4);
    Put32(out + 4, BlockSize);
    Put32(out + 8, CheckCrc);
    Put32(out + 12, BlockCount);
    Put32(out + 16, FormatVersion);
    out[20] = CompressionLevel;
    out[22] = Encrypted;
    Put32(out + 23, GapSize);
    std::memcpy(out + 28, CheckBlock, PackCheckBlockSize);
}

bool TPackHeader::Decode(const uint8_t in[PackHeaderSize])
{
    if (std::memcmp(in, Signature, 4) != 0)
        return false;
    BlockSize = Get32(in + 4);
    CheckCrc = Get32(in + 8);
    BlockCount = Get32(in + 12);
    FormatVersion = Get32(in + 16);
    CompressionLevel = in[20];
    Encrypted = in[22];
    GapSize = Get32(in + 23);
    std::memcpy(CheckBlock, in + 28, PackCheckBlockSize);
    return true;
}

void TPackBlockHeader::Encode(uint8_t out[PackBlockHeaderSize]) const
{
    Put32(out, PackedSize);
    Put32(out + 4, UnpackedSize);
    Put32(out + 8, BlockCrc);
    Put32(out + 12, NextOffset);
}

void TPackBlockHeader::Decode(const uint8_t in[PackBlockHeaderSize])
{
    PackedSize = Get32(in);
    UnpackedSize = Get32(in + 4);
    BlockCrc = Get32(in + 8);
    NextOffset = Get32(in + 12);
}

TPackLevel PackLevel(uint8_t level)
{
    switch (level) {
    case 0: return {TPackCompressor::None, 0, 1048576, true};
    case 1: return {TPackCompressor::Zlib, 1, 524288, true};
    case 2: return {TPackCompressor::Zlib, 5, 1048576, true};
    case 3: return {TPackCompressor::Unsupported, 0, 1048576, false};
    case 4: return {TPackCompressor::Unsupported, 0, 1572864, false};
    case 5: return {TPackCompressor::Zlib, 9, 1572864, true};
    case 6: return {TPackCompressor::Unsupported, 0, 524288, false};
    case 7: return {TPackCompressor::Bzip2, 2, 524288, false};
    case 8: return {TPackCompressor::Bzip2, 6, 1048576, false};
    case 9: return {TPackCompressor::Bzip2, 9, 1572864, false};
    default: return {TPackCompressor::Unsupported, 0, 1048576, false};
    }
}

// ---------------------------------------------------------------- raw file

TPackBaseStream::TPackBaseStream(const std::string& path, bool create, bool readOnly)
    : m_readOnly(readOnly), m_path(path)
{
    int flags = readOnly ? O_RDONLY : O_RDWR;
    if (create)
        flags |= O_CREAT | O_TRUNC;
    m_fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (m_fd < 0)
        Fail(Format(create ? "Cannot create file %s" : "Cannot open file %s", path));
}

TPackBaseStream::~TPackBaseStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

size_t TPackBaseStream::ReadAt(uint64_t offset, void* data, size_t count)
{
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(m_fd, static_cast<uint8_t*>(data) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t TPackBaseStream::WriteAt(uint64_t offset, const void* data, size_t count)
{
    if (m_readOnly)
        return 0;
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(m_fd, static_cast<const uint8_t*>(data) + done, count - done,
                             static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

uint64_t TPackBaseStream::Size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        Fail(Format("Cannot read the size of file %s", m_path));
    return static_cast<uint64_t>(st.st_size);
}

void TPackBaseStream::Truncate(uint64_t size)
{
    if (m_readOnly || ::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        Fail(Format("Cannot change the size of file %s", m_path));
}

// ---------------------------------------------------------------- engine

TPackStream::TPackStream(TPackBaseStream* base, bool create, const std::string& password, uint8_t level,
                         uint32_t gapSize, IClock& clock)
    : m_base(base), m_clock(clock)
{
    if (!m_base)
        Fail("TPackStream.Create - data stream = nil.");
    if (create)
        CreateHeader(password, level, gapSize);
    else
        LoadHeaders(password);
}

void TPackStream::CreateHeader(const std::string& password, uint8_t level, uint32_t gapSize)
{
    m_level = PackLevel(level);
    if (m_level.Compressor == TPackCompressor::None) {
        // Level 0 keeps no container: the bytes go to the file as they are.
        m_plain = true;
        m_base->Truncate(0);
        return;
    }
    if (!m_level.Writable)
        Fail("TPackStream.Create - compression level " + std::to_string(level) + " cannot be written.");
    m_header.BlockSize = m_level.BlockSize;
    m_header.BlockCount = 0;
    m_header.CompressionLevel = level;
    m_header.GapSize = gapSize;
    if (!password.empty()) {
        m_cipher = std::make_unique<TPackCipher>(password);
        m_header.Encrypted = 1;
        CheckPlainBytes(m_header.CheckBlock);
        m_header.CheckCrc = PackCrc(m_header.CheckBlock, PackCheckBlockSize);
        m_cipher->Encipher(m_header.CheckBlock, PackCheckBlockSize);
    }
    uint8_t bytes[PackHeaderSize];
    m_header.Encode(bytes);
    if (m_base->WriteAt(0, bytes, PackHeaderSize) != PackHeaderSize)
        Fail("TPackStream.Create - error writing to data stream. May be data stream in read only mode.");
    m_base->Truncate(PackHeaderSize);
}

void TPackStream::LoadHeaders(const std::string& password)
{
    const uint64_t fileSize = m_base->Size();
    uint8_t bytes[PackHeaderSize];
    if (fileSize < PackHeaderSize || m_base->ReadAt(0, bytes, PackHeaderSize) != PackHeaderSize ||
        !m_header.Decode(bytes)) {
        // A signature without the rest of its header is a container cut short.
        m_cutShort = fileSize >= sizeof Signature && fileSize < PackHeaderSize &&
                     m_base->ReadAt(0, bytes, sizeof Signature) == sizeof Signature &&
                     std::memcmp(bytes, Signature, sizeof Signature) == 0;
        m_plain = true;
        m_level = PackLevel(0);
        return;
    }
    m_level = PackLevel(m_header.CompressionLevel);
    if (m_level.Compressor == TPackCompressor::None || m_level.Compressor == TPackCompressor::Unsupported)
        Fail("TPackStream.LoadHeaders - unsupported compression level " + std::to_string(m_header.CompressionLevel) +
             ".");
    if (m_header.BlockSize == 0 || m_header.BlockSize > PackMaxBlockSize)
        Fail("TPackStream.LoadHeaders - invalid block size.");
    if (m_header.Encrypted == 1) {
        if (password.empty())
            Fail("TPackStream.LoadHeaders - no password specified.");
        m_cipher = std::make_unique<TPackCipher>(password);
        CheckPassword();
    }

    uint64_t offset = uint64_t{PackHeaderSize} + m_header.GapSize;
    m_headers.reserve(std::min<uint64_t>(m_header.BlockCount, fileSize / PackBlockHeaderSize));
    for (uint32_t i = 0; i < m_header.BlockCount; ++i) {
        if (fileSize < offset + PackBlockHeaderSize) {
            // A cut file: the container ends with the last whole block header.
            m_cutShort = true;
            m_header.BlockCount = i;
            if (!m_base->ReadOnly()) {
                m_base->Truncate(offset);
                WriteHeader();
            }
            break;
        }
        uint8_t raw[PackBlockHeaderSize];
        if (m_base->ReadAt(offset, raw, PackBlockHeaderSize) != PackBlockHeaderSize)
            Fail(Format("Cannot read file %s", m_base->Path()));
        TPackBlockHeader block;
        block.Decode(raw);
        block.Offset = offset;
        const bool last = i + 1 == m_header.BlockCount;
        // Block i holds the bytes from i * BlockSize on, so all but the last are full.
        if (block.UnpackedSize == 0 || block.UnpackedSize > m_header.BlockSize ||
            (!last && block.UnpackedSize != m_header.BlockSize))
            Fail("TPackStream.LoadHeaders - invalid block size.");
        const uint64_t payloadEnd = offset + PackBlockHeaderSize + block.PackedSize;
        if (!last) {
            if (block.NextOffset < payloadEnd || block.NextOffset > fileSize)
                Fail("TPackStream.LoadHeaders - invalid block offset.");
            offset = block.NextOffset;
        } else if (payloadEnd > fileSize) {
            // Left for LoadBlock to refuse, so that the blocks before it stay readable.
            m_cutShort = true;
        }
        m_headers.push_back(block);
    }
}

void TPackStream::CheckPassword()
{
    uint8_t check[PackCheckBlockSize];
    std::memcpy(check, m_header.CheckBlock, PackCheckBlockSize);
    // The wait makes guessing passwords slow; it is measured on the injected clock.
    const int64_t start = m_clock.SteadyMilliseconds();
    int64_t last = start;
    int unchanged = 0;
    for (;;) {
        m_cipher->Decipher(check, PackCheckBlockSize);
        m_cipher->Encipher(check, PackCheckBlockSize);
        const int64_t now = m_clock.SteadyMilliseconds();
        if (now - start >= PasswordWaitMs)
            break;
        if (now != last) {
            last = now;
            unchanged = 0;
        } else if (++unchanged >= StuckClockReads) {
            break;
        }
    }
    m_cipher->Decipher(check, PackCheckBlockSize);
    if (PackCrc(check, PackCheckBlockSize) != m_header.CheckCrc)
        Fail("TPackStream.LoadHeaders - invalid password.");
}

uint64_t TPackStream::DiskSize() const
{
    if (m_headers.empty())
        return 0;
    return uint64_t{m_header.BlockSize} * (m_headers.size() - 1) + m_headers.back().UnpackedSize;
}

uint64_t TPackStream::Size() const
{
    if (m_plain)
        return m_base->Size();
    return DiskSize() + m_tail.size();
}

uint64_t TPackStream::NextBlockOffset() const
{
    if (m_headers.empty())
        return uint64_t{PackHeaderSize} + m_header.GapSize;
    const TPackBlockHeader& last = m_headers.back();
    return last.Offset + PackBlockHeaderSize + last.PackedSize;
}

void TPackStream::LoadBlock(size_t index, std::vector<uint8_t>& out)
{
    const TPackBlockHeader& block = m_headers[index];
    const uint64_t payload = block.Offset + PackBlockHeaderSize;
    // Checked against the file before anything is allocated for it.
    if (payload + block.PackedSize > m_base->Size())
        Fail("TPackStream.LoadBlock - block data is cut short.");
    m_work.resize(block.PackedSize);
    if (m_base->ReadAt(payload, m_work.data(), block.PackedSize) != block.PackedSize)
        Fail("TPackStream.LoadBlock - block data is cut short.");
    if (m_cipher)
        m_cipher->Decipher(m_work.data(), m_work.size());
    out.resize(block.UnpackedSize);

    if (m_level.Compressor == TPackCompressor::Zlib) {
        z_stream zs{};
        if (inflateInit(&zs) != Z_OK)
            Fail("TPackStream.LoadBlock - decompression error.");
        zs.next_in = m_work.data();
        zs.avail_in = static_cast<uInt>(m_work.size());
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&zs, Z_FINISH);
        const size_t produced = out.size() - zs.avail_out;
        if (rc != Z_STREAM_END && zs.avail_out == 0 && (rc == Z_OK || rc == Z_BUF_ERROR)) {
            // The output is full: the stream must end without one byte more.
            uint8_t extra = 0;
            zs.next_out = &extra;
            zs.avail_out = 1;
            rc = inflate(&zs, Z_FINISH);
            if (zs.avail_out == 0) {
                inflateEnd(&zs);
                Fail("TPackStream.LoadBlock - decompression error, invalid size.");
            }
        }
        inflateEnd(&zs);
        if (rc != Z_STREAM_END)
            Fail("TPackStream.LoadBlock - decompression error.");
        if (produced != block.UnpackedSize)
            Fail("TPackStream.LoadBlock - decompression error, invalid size.");
    } else {
        unsigned int produced = block.UnpackedSize;
        uint8_t empty = 0;
        int rc = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.empty() ? &empty : out.data()), &produced,
                                            reinterpret_cast<char*>(m_work.empty() ? &empty : m_work.data()),
                                            static_cast<unsigned int>(m_work.size()), 0, 0);
        if (rc == BZ_OUTBUFF_FULL)
            Fail("TPackStream.LoadBlock - decompression error, invalid size.");
        if (rc != BZ_OK)
            Fail("TPackStream.LoadBlock - decompression error.");
        if (produced != block.UnpackedSize)
            Fail("TPackStream.LoadBlock - decompression error, invalid size.");
    }
    if (PackCrc(out.data(), out.size()) != block.BlockCrc)
        Fail("TPackStream.LoadBlock - decompression crc error.");
}

const uint8_t* TPackStream::BlockContent(size_t index, size_t& size)
{
    if (index >= m_headers.size()) {
        size = m_tail.size();
        return m_tail.data();
    }
    if (m_cachedIndex != index) {
        m_cachedIndex = SIZE_MAX;
        LoadBlock(index, m_cache);
        m_cachedIndex = index;
    }
    size = m_cache.size();
    return m_cache.data();
}

size_t TPackStream::Read(void* data, size_t count)
{
    if (m_plain) {
        const size_t n = m_base->ReadAt(m_position, data, count);
        m_position += n;
        return n;
    }
    uint8_t* out = static_cast<uint8_t*>(data);
    const uint64_t size = Size();
    size_t done = 0;
    while (done < count && m_position < size) {
        const size_t index = static_cast<size_t>(m_position / m_header.BlockSize);
        const size_t offset = static_cast<size_t>(m_position % m_header.BlockSize);
        size_t blockSize = 0;
        const uint8_t* content = BlockContent(index, blockSize);
        const size_t n = std::min(blockSize - offset, count - done);
        std::memcpy(out + done, content + offset, n);
        done += n;
        m_position += n;
    }
    return done;
}

void TPackStream::RequireWritable(const char* message) const
{
    if (m_base->ReadOnly())
        Fail(message);
}

void TPackStream::PrepareBufferForWriting(const uint8_t* content, size_t size, std::vector<uint8_t>& out,
                                          TPackBlockHeader& header)
{
    uLongf packed = compressBound(static_cast<uLong>(size));
    out.resize(PackBlockHeaderSize + packed);
    if (compress2(out.data() + PackBlockHeaderSize, &packed, content, static_cast<uLong>(size), m_level.Setting) !=
            Z_OK ||
        packed == 0)
        Fail("TPackStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
    out.resize(PackBlockHeaderSize + packed);
    if (m_cipher)
        m_cipher->Encipher(out.data() + PackBlockHeaderSize, packed);
    header.PackedSize = static_cast<uint32_t>(packed);
    header.UnpackedSize = static_cast<uint32_t>(size);
    header.BlockCrc = PackCrc(content, size);
}

void TPackStream::WriteBlock(const uint8_t* content, size_t size)
{
    TPackBlockHeader header;
    header.Offset = NextBlockOffset();
    PrepareBufferForWriting(content, size, m_work, header);
    const uint64_t end = header.Offset + PackBlockHeaderSize + header.PackedSize;
    // NextOffset is 32-bit: a container cannot reach past 4 GB.
    if (end > UINT32_MAX)
        Fail("TPackStream.PrepareBufferForWriting - the container would exceed 4 GB.");
    header.NextOffset = static_cast<uint32_t>(end);
    header.Encode(m_work.data());
    if (m_base->WriteAt(header.Offset, m_work.data(), m_work.size()) != m_work.size())
        Fail(Format("Cannot write file %s", m_base->Path()));
    m_headers.push_back(header);
}

void TPackStream::OpenTailForAppend()
{
    if (!m_tail.empty() || m_headers.empty() || m_headers.back().UnpackedSize == m_header.BlockSize)
        return;
    // The last block on disk is partial: it becomes the block being filled.
    const size_t last = m_headers.size() - 1;
    size_t size = 0;
    const uint8_t* content = BlockContent(last, size);
    m_tail.assign(content, content + size);
    m_headers.pop_back();
    m_cachedIndex = SIZE_MAX;
    m_dirty = true;
}

size_t TPackStream::Write(const void* data, size_t count)
{
    if (count == 0)
        return 0;
    RequireWritable("TPackCompressedStream.Write - file is in read only mode.");
    if (m_plain) {
        const size_t n = m_base->WriteAt(m_position, data, count);
        m_position += n;
        if (n != count)
            Fail(Format("Cannot write file %s", m_base->Path()));
        return n;
    }
    if (!m_level.Writable)
        Fail("TPackCompressedStream.Write - compression level " + std::to_string(m_header.CompressionLevel) +
             " cannot be written.");
    if (m_position != Size())
        Fail("TPackCompressedStream.Write - writing is supported at the end of the stream only.");
    OpenTailForAppend();
    const uint8_t* in = static_cast<const uint8_t*>(data);
    const size_t blockSize = m_header.BlockSize;
    size_t done = 0;
    while (done < count) {
        if (m_tail.empty() && count - done >= blockSize) {
            // A whole block straight from the caller's buffer.
            WriteBlock(in + done, blockSize);
            done += blockSize;
            continue;
        }
        const size_t n = std::min(blockSize - m_tail.size(), count - done);
        m_tail.insert(m_tail.end(), in + done, in + done + n);
        done += n;
        if (m_tail.size() == blockSize) {
            WriteBlock(m_tail.data(), m_tail.size());
            m_tail.clear();
        }
    }
    m_dirty = true;
    m_position += count;
    return count;
}

void TPackStream::SetSize(uint64_t size)
{
    RequireWritable("TPackCompressedStream.SetSize - file is in read only mode.");
    if (m_plain) {
        m_base->Truncate(size);
        return;
    }
    const uint64_t current = Size();
    if (size > current) {
        const uint64_t position = m_position;
        m_position = current;
        std::vector<uint8_t> zeros(std::min<uint64_t>(size - current, m_header.BlockSize));
        while (m_position < size)
            Write(zeros.data(), static_cast<size_t>(std::min<uint64_t>(zeros.size(), size - m_position)));
        m_position = position;
        return;
    }
    if (size == current)
        return;
    const uint64_t disk = DiskSize();
    if (size >= disk) {
        m_tail.resize(static_cast<size_t>(size - disk));
    } else {
        const size_t index = static_cast<size_t>(size / m_header.BlockSize);
        const size_t keep = static_cast<size_t>(size % m_header.BlockSize);
        size_t blockSize = 0;
        const uint8_t* content = BlockContent(index, blockSize);
        m_tail.assign(content, content + keep);
        m_headers.resize(index);
        m_cachedIndex = SIZE_MAX;
    }
    m_dirty = true;
}

void TPackStream::WriteHeader()
{
    uint8_t bytes[PackHeaderSize];
    m_header.Encode(bytes);
    if (m_base->WriteAt(0, bytes, PackHeaderSize) != PackHeaderSize)
        Fail(Format("Cannot write file %s", m_base->Path()));
}

void TPackStream::Flush()
{
    if (m_plain || !m_dirty)
        return;
    if (!m_tail.empty()) {
        WriteBlock(m_tail.data(), m_tail.size());
        // Kept decoded, so that reading or appending needs no decode.
        m_cache.swap(m_tail);
        m_tail.clear();
        m_cachedIndex = m_headers.size() - 1;
    }
    m_header.BlockCount = static_cast<uint32_t>(m_headers.size());
    WriteHeader();
    // Bytes left by a longer earlier version of the last block are cut off.
    m_base->Truncate(m_headers.empty() ? PackHeaderSize : NextBlockOffset());
    m_dirty = false;
}

// ---------------------------------------------------------------- file stream

TPackFileStream::TPackFileStream(const std::string& fileName, uint16_t mode, const std::string& password,
                                 uint8_t level, uint32_t gapSize, IClock& clock)
    : m_fileName(fileName), m_readOnly((mode & 3) == 0)
{
    const bool create = mode == PackModeCreate;
    if (create) {
        // A new file is built beside the target and renamed over it when
        // complete, so that a failed export never leaves half a package.
        std::filesystem::path target(fileName);
        std::filesystem::path dir = target.parent_path();
        std::string hidden = ".";
        hidden += target.filename().string();
        hidden += ".XXXXXX";
        std::string pattern = (dir / hidden).string();
        int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            Fail(Format("Cannot create file %s", fileName));
        struct stat st {};
        ::fchmod(fd, ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
        ::close(fd);
        m_tempName = pattern;
        try {
            m_base = std::make_unique<TPackBaseStream>(m_tempName, true, false);
            m_stream = std::make_unique<TPackStream>(m_base.get(), true, password, level, gapSize, clock);
        } catch (...) {
            m_base.reset();
            ::unlink(m_tempName.c_str());
            throw;
        }
        return;
    }
    m_base = std::make_unique<TPackBaseStream>(fileName, false, m_readOnly);
    m_stream = std::make_unique<TPackStream>(m_base.get(), false, password, level, gapSize, clock);
}

TPackFileStream::~TPackFileStream()
{
    try {
        Close();
    } catch (...) {
        // Freeing cannot report; Close has removed an unfinished new file.
    }
}

size_t TPackFileStream::Write(const void* data, size_t count)
{
    // After Close the file is complete and renamed; nothing may change it unseen.
    if (m_closed && count > 0)
        Fail("TPackCompressedStream.Write - the stream is closed.");
    return m_stream->Write(data, count);
}

size_t TPackFileStream::Read(void* data, size_t count) { return m_stream->Read(data, count); }

void TPackFileStream::CopyTo(const std::function<void(const uint8_t*, size_t)>& sink)
{
    const uint64_t position = m_stream->Position();
    const size_t piece = m_stream->IsPlain() ? PackLevel(0).BlockSize : m_stream->Header().BlockSize;
    std::vector<uint8_t> buffer(piece);
    m_stream->Seek(0);
    try {
        for (;;) {
            const size_t n = m_stream->Read(buffer.data(), buffer.size());
            if (n == 0)
                break;
            sink(buffer.data(), n);
        }
    } catch (...) {
        m_stream->Seek(position);
        throw;
    }
    m_stream->Seek(position);
}

void TPackFileStream::CopyTo(TPackFileStream& target)
{
    CopyTo([&target](const uint8_t* data, size_t size) { target.Write(data, size); });
}

void TPackFileStream::LoadFromStream(TPackFileStream& source)
{
    if (m_readOnly)
        Fail("TPackCompressedStream.LoadFromStream - file is in read only mode.");
    m_stream->SetSize(0);
    m_stream->Seek(0);
    source.CopyTo(*this);
}

void TPackFileStream::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    try {
        if (!m_readOnly)
            m_stream->Flush();
        if (!m_tempName.empty()) {
            if (std::rename(m_tempName.c_str(), m_fileName.c_str()) != 0)
                Fail(Format("Cannot create file %s", m_fileName));
            m_tempName.clear();
        }
    } catch (...) {
        if (!m_tempName.empty())
            ::unlink(m_tempName.c_str());
        m_tempName.clear();
        throw;
    }
}

void TPackFileStream::Discard()
{
    if (m_closed)
        return;
    m_closed = true;
    if (!m_tempName.empty()) {
        ::unlink(m_tempName.c_str());
        m_tempName.clear();
    }
}
