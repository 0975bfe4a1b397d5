#include "audio/wave_file.h"

TMMCustomWaveFile::TMMCustomWaveFile()
{
    m_wave.AddObserver(this);
}

TMMCustomWaveFile::~TMMCustomWaveFile()
{
    m_wave.RemoveObserver(this);
}

void TMMCustomWaveFile::WaveChanged(TMMWave& wave)
{
    if (m_onChange)
        m_onChange();
    const WAVEFORMATEX* format = wave.FormatPtr();
    if (format)
        m_streamFormat = wave.WaveInfo()->Format;
    else
        m_streamFormat.reset();
    if (m_onChanged)
        m_onChanged();
}

void TMMCustomWaveFile::DetachFromWave()
{
    m_wave.RemoveObserver(this);
    m_wave.SetOnChange(nullptr);
    m_onChange = nullptr;
    m_onChanged = nullptr;
}

TMMCustomMemoryWave::TMMCustomMemoryWave()
{
    Wave().CreateMemoryStore();
}

TMMCustomMemoryWave::~TMMCustomMemoryWave()
{
    // Clearing notifies; by now a derived owner (a mixer channel) is already
    // gone, so nothing may be called back.
    DetachFromWave();
    Wave().ClearWave();
    Wave().FreeMemoryStore();
}
