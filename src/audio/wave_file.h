#pragma once
// The components that own a wave: TMMCustomWaveFile holds one TMMWave,
// published as Wave, follows its changes and takes its format as the
// stream format; TMMCustomMemoryWave gives that wave a memory store, which
// is what every wave in this system is.

#include "audio/wave.h"

#include <functional>
#include <optional>

class TMMCustomWaveFile : protected TMMWaveObserver {
public:
    TMMCustomWaveFile();
    ~TMMCustomWaveFile() override;
    TMMCustomWaveFile(const TMMCustomWaveFile&) = delete;
    TMMCustomWaveFile& operator=(const TMMCustomWaveFile&) = delete;

    TMMWave& Wave() { return m_wave; }
    const TMMWave& Wave() const { return m_wave; }
    // Copies the other wave's contents; the object is never shared.
    void SetWave(const TMMWave& source) { m_wave.Assign(source); }

    // The wave's format as of its last change, or nullptr when it is empty.
    const TWaveFormat* StreamFormat() const { return m_streamFormat ? &*m_streamFormat : nullptr; }

    // Fired on every change of the wave: OnChange before the stream format
    // is taken, OnChanged after.
    void SetOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }
    void SetOnChanged(std::function<void()> handler) { m_onChanged = std::move(handler); }

protected:
    void WaveChanged(TMMWave& wave) override;
    // Stops all notification from the wave, for owners about to tear it down.
    void DetachFromWave();

private:
    TMMWave m_wave;
    std::optional<TWaveFormat> m_streamFormat;
    std::function<void()> m_onChange;
    std::function<void()> m_onChanged;
};

class TMMCustomMemoryWave : public TMMCustomWaveFile {
public:
    TMMCustomMemoryWave();
    ~TMMCustomMemoryWave() override;
};
