#pragma once
// TMMWave: one RIFF WAVE image held whole in memory, checked and described
// by the RIFF reader. The image is never edited; it is replaced as a whole
// by a load and written out byte for byte by a save. SampleData points into
// the store, so the mixer copies PCM data straight from it.
//
// Contract: used on the user-interface thread only; no lock. Failed loads
// leave the wave as it was. Parse failures raise EMMWaveError "Error
// reading wave file"; stream and file failures raise EMMWaveError with
// their own message.

#include "audio/mm_object.h"
#include "audio/riff_reader.h"
#include "audio/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class TMMTimeFormat { tfMillisecond, tfByte, tfSample };
enum class TMMMode { mMono, mStereo, mMultiChannel };

// The byte store of a memory wave. Growing it does not zero-fill, because
// every byte is overwritten by the load that follows.
class TMMMemoryStore {
public:
    const uint8_t* Data() const { return m_data; }
    uint8_t* Data() { return m_data; }
    size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    // Makes room for exactly `size` bytes of unspecified content.
    void Allocate(size_t size);
    // Takes over bytes read elsewhere, without copying them.
    void Adopt(std::vector<uint8_t> bytes);
    void Clear();

private:
    std::unique_ptr<uint8_t[]> m_bytes;
    std::vector<uint8_t> m_adopted;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

class TMMWave;

// Told after every change of a wave it is registered with, whatever the
// wave's update counter.
class TMMWaveObserver {
public:
    virtual ~TMMWaveObserver() = default;
    virtual void WaveChanged(TMMWave& wave) = 0;
};

class TMMWave : public TMMObject {
public:
    static constexpr size_t BusyThreshold = 500000;

    // A wave without a memory store; owners that make it a memory wave
    // call CreateMemoryStore (TMMCustomMemoryWave does).
    TMMWave() = default;
    ~TMMWave() override = default;

    void CreateMemoryStore();
    // Drops the store with whatever image it holds, without notification.
    void FreeMemoryStore();
    // Hands the image's bytes over, leaving an empty store, without
    // notification: for an owner about to drop the wave that would rather
    // free them elsewhere. nullptr without a store.
    std::unique_ptr<TMMMemoryStore> TakeImage();
    bool IsMemoryWave() const { return m_store != nullptr; }

    // Replaces the image by the whole content of the stream, read from
    // position 0 in one read; the stream is left at its end.
    void LoadFromStream(std::istream& stream);
    // The same from an image already in memory, taken over as it is.
    void LoadFromBytes(std::vector<uint8_t> image);
    // Writes the image exactly as loaded; nothing for an empty store.
    void SaveToStream(std::ostream& stream) const;
    // The same bytes in place; empty without an image.
    std::span<const uint8_t> Image() const;
    void ClearWave();
    // There is no simple sound player on this platform.
    void StopSound() {}
    // Copies another wave's image, description and settings, sending one
    // notification at the end.
    void Assign(const TMMWave& source);

    // Always empty for a memory wave: it holds bytes, not a file.
    const std::string& FileName() const { return m_fileName; }
    // Loads a file. "Invalid wave file..." when the file is there but
    // rejected, "Error reading wave file" when it vanished meanwhile,
    // "Cannot open file PATH: REASON" when it cannot be opened. An empty
    // path does nothing.
    void SetFileName(const std::string& path);

    const TWaveInfo* WaveInfo() const { return m_info ? &*m_info : nullptr; }
    const WAVEFORMATEX* FormatPtr() const { return m_info ? &m_info->Format.Header() : nullptr; }
    // The first sample byte, or nullptr without an image. Raises "This is
    // not a MemoryWave" without a store.
    const uint8_t* SampleData() const;
    uint32_t DataBytes() const { return m_info ? m_info->DataBytes : 0; }

    uint16_t FormatTag() const { return m_info ? m_info->Format->wFormatTag : 0; }
    uint16_t BitLength() const { return m_info ? m_info->Format->wBitsPerSample : 0; }
    uint32_t SampleRate() const { return m_info ? m_info->Format->nSamplesPerSec : 11025; }
    TMMMode Mode() const;
    uint32_t FileSize() const { return m_info ? m_info->FileSize : 0; }
    // SampleCount in TimeFormat; 0 when empty. A wave is empty when this
    // is 0.
    int32_t DataSize() const;

    TMMTimeFormat TimeFormat() const { return m_timeFormat; }
    void SetTimeFormat(TMMTimeFormat format) { m_timeFormat = format; }
    bool FileMustExist() const { return m_fileMustExist; }
    // Raises EMMWaveError on a memory wave, which has no file to require.
    void SetFileMustExist(bool mustExist);
    int32_t IOBufferSize() const { return m_ioBufferSize; }
    void SetIOBufferSize(int32_t size) { m_ioBufferSize = size; }

    // The playable range and read position, in samples.
    int32_t StartSample() const { return m_start; }
    int32_t EndSample() const { return m_end; }
    int32_t Position() const { return m_position; }

    // Observers are not owned and must unregister before they go.
    void AddObserver(TMMWaveObserver* observer);
    void RemoveObserver(TMMWaveObserver* observer);

protected:
    // The change callback (while the update counter is 0), then every
    // observer.
    void Changed() override;

private:
    // Parses a filled store and attaches it; false when the reader rejects
    // it (or runs out of memory), with the wave unchanged.
    bool AttachImage(std::unique_ptr<TMMMemoryStore> store);
    void ResetContents();

    std::unique_ptr<TMMMemoryStore> m_store;
    std::optional<TWaveInfo> m_info;
    std::string m_fileName;
    bool m_fileMustExist = true;
    TMMTimeFormat m_timeFormat = TMMTimeFormat::tfSample;
    int32_t m_ioBufferSize = 32768;
    int32_t m_start = 0;
    int32_t m_end = 0;
    int32_t m_position = 0;
    std::vector<TMMWaveObserver*> m_observers;
};
