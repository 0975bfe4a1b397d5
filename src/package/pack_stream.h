#pragma once
// The compressed, optionally enciphered container that package files are
// stored in: a 128-byte header, an optional gap, then independent blocks of
// BlockSize stream bytes each compressed (zlib or bzip2) and enciphered.
// A file without the header is served as plain bytes.
//
// TPackFileStream owns the file; TPackStream is the block engine; it reaches
// the file only through TPackBaseStream. Writing happens at the end of the
// stream only: a block is compressed and written once, when it is full or
// when the stream is flushed or closed. Reading keeps the last decoded block.

#include "base/clock.h"
#include "base/error.h"
#include "package/pack_crypto.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class EPackError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

constexpr uint16_t PackModeCreate = 0xFFFF;
constexpr uint16_t PackModeReadOnly = 0;
constexpr uint16_t PackModeReadWrite = 2;

constexpr size_t PackHeaderSize = 128;
constexpr size_t PackBlockHeaderSize = 16;
constexpr size_t PackCheckBlockSize = 100;
// 2.02 as an IEEE single, little-endian bytes AE 47 01 40.
constexpr uint32_t PackFormatVersionBits = 0x400147AEu;
// The largest block size a file may declare; bounds every allocation.
constexpr uint32_t PackMaxBlockSize = 16u << 20;

// The 128-byte file header, field by field.
struct TPackHeader {
    uint32_t BlockSize = 0;
    uint32_t CheckCrc = 0;
    uint32_t BlockCount = 0;
    uint32_t FormatVersion = PackFormatVersionBits;
    uint8_t CompressionLevel = 0;
    uint8_t Encrypted = 0;
    uint32_t GapSize = 0;
    uint8_t CheckBlock[PackCheckBlockSize] = {};

    void Encode(uint8_t out[PackHeaderSize]) const;
    // False when the bytes do not start with "AACS".
    bool Decode(const uint8_t in[PackHeaderSize]);
};

// A block header with the file offset where it starts.
struct TPackBlockHeader {
    uint64_t Offset = 0;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    uint32_t BlockCrc = 0;
    uint32_t NextOffset = 0;

    void Encode(uint8_t out[PackBlockHeaderSize]) const;
    void Decode(const uint8_t in[PackBlockHeaderSize]);
};

using TPackHeadersArray = std::vector<TPackBlockHeader>;

// What a compression level means: its compressor and its block size.
enum class TPackCompressor { None, Zlib, Bzip2, Unsupported };
struct TPackLevel {
    TPackCompressor Compressor;
    int Setting; // zlib level or bzip2 block size (x 100 kB)
    uint32_t BlockSize;
    bool Writable;
};
TPackLevel PackLevel(uint8_t level);

// The raw file: reads and writes at an offset, size and cut.
class TPackBaseStream {
public:
    // Opens (or, with create, creates and empties) the file; raises the
    // file system's "Cannot open file %s" / "Cannot create file %s".
    TPackBaseStream(const std::string& path, bool create, bool readOnly);
    ~TPackBaseStream();
    TPackBaseStream(const TPackBaseStream&) = delete;
    TPackBaseStream& operator=(const TPackBaseStream&) = delete;

    // Bytes read; fewer only at the end of the file.
    size_t ReadAt(uint64_t offset, void* data, size_t count);
    // Bytes written; fewer only when the file system refuses.
    size_t WriteAt(uint64_t offset, const void* data, size_t count);
    uint64_t Size() const;
    void Truncate(uint64_t size);
    bool ReadOnly() const { return m_readOnly; }
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    bool m_readOnly;
    std::string m_path;
};

// The block engine of a container (or the pass-through of a plain file).
class TPackStream {
public:
    // create: write a new header (level, gap, password); otherwise load the
    // existing header and blocks, or fall back to plain when there is none.
    TPackStream(TPackBaseStream* base, bool create, const std::string& password, uint8_t level, uint32_t gapSize,
                IClock& clock = DefaultClock());

    size_t Read(void* data, size_t count);
    size_t Write(const void* data, size_t count);
    uint64_t Size() const;
    uint64_t Position() const { return m_position; }
    void Seek(uint64_t position) { m_position = position; }
    // Cuts the stream, or extends it with zeros (at the end only).
    void SetSize(uint64_t size);
    // Writes the block being filled and the header; the file is then a
    // complete container. Further writes may follow.
    void Flush();

    bool IsPlain() const { return m_plain; }
    // True when the file ended before every block its header announced was
    // whole: a block header missing (a read-only open then serves the blocks
    // before it, a writable one cuts the file there) or the last block's data
    // cut (reading it raises). Also true for a file holding only the start of
    // a header, which is otherwise served as plain bytes.
    bool CutShort() const { return m_cutShort; }
    const TPackHeader& Header() const { return m_header; }
    // The blocks on disk (after Flush: all of them).
    const TPackHeadersArray& Headers() const { return m_headers; }

private:
    void CreateHeader(const std::string& password, uint8_t level, uint32_t gapSize);
    void LoadHeaders(const std::string& password);
    void CheckPassword();
    void LoadBlock(size_t index, std::vector<uint8_t>& out);
    void PrepareBufferForWriting(const uint8_t* content, size_t size, std::vector<uint8_t>& out,
                                 TPackBlockHeader& header);
    void WriteBlock(const uint8_t* content, size_t size);
    void OpenTailForAppend();
    uint64_t DiskSize() const;
    uint64_t NextBlockOffset() const;
    const uint8_t* BlockContent(size_t index, size_t& size);
    void WriteHeader();
    void RequireWritable(const char* message) const;

    TPackBaseStream* m_base;
    IClock& m_clock;
    bool m_plain = false;
    bool m_cutShort = false;
    TPackHeader m_header;
    TPackLevel m_level{};
    std::unique_ptr<TPackCipher> m_cipher;
    TPackHeadersArray m_headers;  // complete blocks on disk
    std::vector<uint8_t> m_tail;  // the block after them, being filled
    bool m_dirty = false;         // tail or header not yet on disk
    uint64_t m_position = 0;
    // The last decoded block, so that small sequential reads decode once.
    size_t m_cachedIndex = SIZE_MAX;
    std::vector<uint8_t> m_cache;
    std::vector<uint8_t> m_work;
};

// The stream the package code creates: a file opened by mode, holding a
// container (or a plain file). A new file is written to a temporary file in
// the same folder and renamed over the target when closed or freed.
class TPackFileStream {
public:
    // mode: PackModeCreate creates a new container; the two low bits 0 open
    // read-only; anything else opens for reading and writing in place.
    TPackFileStream(const std::string& fileName, uint16_t mode, const std::string& password, uint8_t level,
                    uint32_t gapSize, IClock& clock = DefaultClock());
    ~TPackFileStream();
    TPackFileStream(const TPackFileStream&) = delete;
    TPackFileStream& operator=(const TPackFileStream&) = delete;

    size_t Write(const void* data, size_t count);
    size_t Read(void* data, size_t count);
    uint64_t Size() const { return m_stream->Size(); }
    uint64_t Position() const { return m_stream->Position(); }
    void Seek(uint64_t position) { m_stream->Seek(position); }
    void SetSize(uint64_t size) { m_stream->SetSize(size); }
    // Writes the whole content from position 0 to the sink in BlockSize
    // pieces; the position is left as it was.
    void CopyTo(const std::function<void(const uint8_t*, size_t)>& sink);
    void CopyTo(TPackFileStream& target);
    // Replaces the content with the source's bytes.
    void LoadFromStream(TPackFileStream& source);
    // Completes the file (and renames a new one into place); raises on
    // failure. Freeing closes too, silently.
    void Close();
    // Ends the stream without completing it: a new file is removed and
    // nothing appears at the target; an existing file keeps what has already
    // reached it, without the final flush. Does nothing after Close.
    void Discard();

    bool IsPlain() const { return m_stream->IsPlain(); }
    bool CutShort() const { return m_stream->CutShort(); }
    bool ReadOnly() const { return m_readOnly; }
    const TPackHeader& Header() const { return m_stream->Header(); }
    const TPackHeadersArray& Headers() const { return m_stream->Headers(); }

private:
    std::string m_fileName;
    std::string m_tempName; // set while a new file is being written
    bool m_readOnly;
    bool m_closed = false;
    std::unique_ptr<TPackBaseStream> m_base;
    std::unique_ptr<TPackStream> m_stream;
};
