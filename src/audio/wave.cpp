#include "audio/wave.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <utility>
#include <ostream>
#include <system_error>

namespace {

const char* const ReadErrorMessage = "Error reading wave file";

// The stream's full length, with the stream put back at position 0.
uint64_t PrepareStream(std::istream& stream)
{
    // A stream left failed or at its end by earlier use is still readable
    // from the start.
    stream.clear();
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (size < 0 || !stream)
        throw EMMWaveError("Cannot read the wave stream: it cannot be positioned");
    return static_cast<uint64_t>(size);
}

// The whole stream in one read into a store sized in advance; nullptr for
// a length no image can have (the reader's offsets are 32-bit).
std::unique_ptr<TMMMemoryStore> ReadStream(std::istream& stream, uint64_t size)
{
    if (size > std::numeric_limits<uint32_t>::max())
        return nullptr;
    auto store = std::make_unique<TMMMemoryStore>();
    store->Allocate(static_cast<size_t>(size));
    if (size > 0) {
        stream.read(reinterpret_cast<char*>(store->Data()), static_cast<std::streamsize>(size));
        if (static_cast<uint64_t>(stream.gcount()) != size)
            throw EMMWaveError("Cannot read the wave stream: it ended early");
    }
    return store;
}

} // namespace

void TMMMemoryStore::Allocate(size_t size)
{
    m_adopted = {};
    m_bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    m_data = m_bytes.get();
    m_size = size;
}

void TMMMemoryStore::Adopt(std::vector<uint8_t> bytes)
{
    m_bytes.reset();
    m_adopted = std::move(bytes);
    m_data = m_adopted.data();
    m_size = m_adopted.size();
}

void TMMMemoryStore::Clear()
{
    m_bytes.reset();
    m_adopted = {};
    m_data = nullptr;
    m_size = 0;
}

void TMMWave::CreateMemoryStore()
{
    if (!m_store)
        m_store = std::make_unique<TMMMemoryStore>();
}

void TMMWave::FreeMemoryStore()
{
    m_store.reset();
    m_info.reset();
    m_start = m_end = m_position = 0;
}

std::unique_ptr<TMMMemoryStore> TMMWave::TakeImage()
{
    if (!m_store)
        return nullptr;
    std::unique_ptr<TMMMemoryStore> image = std::exchange(m_store, std::make_unique<TMMMemoryStore>());
    m_info.reset();
    m_start = m_end = m_position = 0;
    return image;
}

void TMMWave::LoadFromStream(std::istream& stream)
{
    const uint64_t size = PrepareStream(stream);
    TMMBusyScope busy(size > BusyThreshold);
    if (!AttachImage(ReadStream(stream, size)))
        throw EMMWaveError(ReadErrorMessage);
    Changed();
}

void TMMWave::LoadFromBytes(std::vector<uint8_t> image)
{
    if (image.size() > std::numeric_limits<uint32_t>::max())
        throw EMMWaveError(ReadErrorMessage);
    auto store = std::make_unique<TMMMemoryStore>();
    store->Adopt(std::move(image));
    if (!AttachImage(std::move(store)))
        throw EMMWaveError(ReadErrorMessage);
    Changed();
}

void TMMWave::SetFileName(const std::string& path)
{
    if (path.empty())
        return;
    const std::filesystem::path fullPath = std::filesystem::absolute(path);
    std::error_code ignored;
    if (std::filesystem::is_directory(fullPath, ignored))
        throw EMMWaveError("Cannot open file " + fullPath.string() + ": " + std::strerror(EISDIR));
    std::ifstream file(fullPath, std::ios::binary);
    if (!file)
        throw EMMWaveError("Cannot open file " + fullPath.string() + ": " + std::strerror(errno));
    const uint64_t size = PrepareStream(file);
    TMMBusyScope busy(size > BusyThreshold);
    if (!AttachImage(ReadStream(file, size))) {
        // Decided only now, because the file may have gone while it was read.
        if (std::filesystem::exists(fullPath, ignored))
            throw EMMWaveError("Invalid wave file...");
        throw EMMWaveError(ReadErrorMessage);
    }
    Changed();
}

bool TMMWave::AttachImage(std::unique_ptr<TMMMemoryStore> store)
{
    if (!store)
        return false;
    std::optional<TWaveInfo> info;
    try {
        info = ReadWaveInfo(std::span<const uint8_t>(store->Data(), store->Size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!info)
        return false;
    ResetContents();
    m_store = std::move(store);
    m_info = std::move(info);
    m_start = m_info->FirstSample;
    m_end = m_info->LastSample;
    m_position = 0;
    return true;
}

void TMMWave::SaveToStream(std::ostream& stream) const
{
    if (!m_store || m_store->Empty())
        return;
    TMMBusyScope busy(m_store->Size() > BusyThreshold);
    stream.write(reinterpret_cast<const char*>(m_store->Data()), static_cast<std::streamsize>(m_store->Size()));
    if (!stream)
        throw EMMWaveError("Cannot write the wave stream");
}

std::span<const uint8_t> TMMWave::Image() const
{
    if (!m_store || m_store->Empty())
        return {};
    return {m_store->Data(), m_store->Size()};
}

void TMMWave::ResetContents()
{
    StopSound();
    m_fileName.clear();
    m_info.reset();
    m_start = m_end = m_position = 0;
    if (m_store)
        m_store->Clear();
}

void TMMWave::ClearWave()
{
    if (m_fileName.empty() && !m_info && (!m_store || m_store->Empty()))
        return;
    ResetContents();
    Changed();
}

void TMMWave::Assign(const TMMWave& source)
{
    if (&source == this)
        return;
    // Everything is copied before anything is replaced, so that running out
    // of memory leaves this wave as it was.
    std::unique_ptr<TMMMemoryStore> store;
    if (m_store || source.m_store) {
        store = std::make_unique<TMMMemoryStore>();
        if (source.m_store && !source.m_store->Empty()) {
            store->Allocate(source.m_store->Size());
            std::memcpy(store->Data(), source.m_store->Data(), source.m_store->Size());
        }
    }
    std::optional<TWaveInfo> info = source.m_info;
    std::string fileName = source.m_fileName;

    StopSound();
    m_store = std::move(store);
    m_info = std::move(info);
    m_fileName = std::move(fileName);
    m_timeFormat = source.m_timeFormat;
    m_ioBufferSize = source.m_ioBufferSize;
    m_start = source.m_start;
    m_end = source.m_end;
    m_position = source.m_position;
    // One notification for the whole copy.
    Changed();
}

const uint8_t* TMMWave::SampleData() const
{
    if (!m_store)
        throw EMMWaveError("This is not a MemoryWave");
    if (!m_info || m_store->Empty())
        return nullptr;
    return m_store->Data() + m_info->DataOffset;
}

TMMMode TMMWave::Mode() const
{
    const uint16_t channels = m_info ? m_info->Format->nChannels : 1;
    if (channels == 2)
        return TMMMode::mStereo;
    return channels <= 1 ? TMMMode::mMono : TMMMode::mMultiChannel;
}

int32_t TMMWave::DataSize() const
{
    if (!m_info || m_info->SampleCount == 0)
        return 0;
    const int32_t samples = static_cast<int32_t>(m_info->SampleCount);
    switch (m_timeFormat) {
    case TMMTimeFormat::tfSample:
        return samples;
    case TMMTimeFormat::tfByte:
        return WaveSamplesToBytes(m_info->Format.Header(), samples);
    case TMMTimeFormat::tfMillisecond:
        return WaveSamplesToMs(m_info->Format.Header(), samples);
    }
    return samples;
}

void TMMWave::SetFileMustExist(bool mustExist)
{
    if (m_store)
        throw EMMWaveError("FileMustExist cannot be changed on a memory wave");
    m_fileMustExist = mustExist;
}

void TMMWave::AddObserver(TMMWaveObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void TMMWave::RemoveObserver(TMMWaveObserver* observer)
{
    std::erase(m_observers, observer);
}

void TMMWave::Changed()
{
    TMMObject::Changed();
    // An observer may unregister itself or another one while being told.
    const std::vector<TMMWaveObserver*> observers = m_observers;
    for (TMMWaveObserver* observer : observers)
        if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
            observer->WaveChanged(*this);
}
