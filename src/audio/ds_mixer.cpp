#include "audio/ds_mixer.h"

#include "audio/ds_channel.h"
#include "audio/mixer_errors.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t MinVolume = -10000;
constexpr int32_t MaxPan = 10000;
constexpr int32_t MaxFrequency = 100000;
constexpr uint32_t PrimaryFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;  // 0xC1
constexpr uint32_t Primary3DFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME; // 0x91

const char* const NoDevices = "No DirectSound playing devices found";

void Check(TDSResult result)
{
    if (result != DS_OK)
        throw EDirectSoundError(result);
}

// A status the platform cannot give reads as idle: the buffer is then
// treated as having ended, which is what a caller can act on.
uint32_t StatusOf(ISoundBuffer& buffer)
{
    uint32_t status = 0;
    return buffer.GetStatus(status) == DS_OK ? status : 0;
}

int32_t ClampVolume(int64_t volume)
{
    return static_cast<int32_t>(std::clamp<int64_t>(volume, MinVolume, 0));
}

int32_t ClampPan(int64_t pan)
{
    return static_cast<int32_t>(std::clamp<int64_t>(pan, -MaxPan, MaxPan));
}

// Negative rates have no meaning and would reach the platform as huge
// unsigned ones; they mean the wave's own rate, like 0.
int32_t ClampFrequency(int64_t frequency)
{
    return static_cast<int32_t>(std::clamp<int64_t>(frequency, 0, MaxFrequency));
}

} // namespace

// ---- TMMDSSoundBuffer -----------------------------------------------------

TMMDSSoundBuffer::TMMDSSoundBuffer() : m_alive(std::make_shared<bool>(true)) {}

TMMDSSoundBuffer::~TMMDSSoundBuffer()
{
    *m_alive = false;
    if (m_mixer)
        m_mixer->Forget(*this);
}

int32_t TMMDSSoundBuffer::Volume()
{
    if (m_platform && !m_muted)
        m_volume = ClampVolume(m_platform->GetVolume());
    return m_volume;
}

void TMMDSSoundBuffer::SetVolume(int32_t volume)
{
    volume = ClampVolume(volume);
    if (volume == m_volume)
        return;
    m_volume = volume;
    if (m_platform && !m_muted)
        m_platform->SetVolume(m_volume);
}

int32_t TMMDSSoundBuffer::Panning()
{
    if (m_platform)
        m_panning = ClampPan(m_platform->GetPan());
    return m_panning;
}

void TMMDSSoundBuffer::SetPanning(int32_t panning)
{
    panning = ClampPan(panning);
    if (panning == m_panning)
        return;
    m_panning = panning;
    if (m_platform)
        m_platform->SetPan(m_panning);
}

int32_t TMMDSSoundBuffer::Frequency()
{
    if (m_platform)
        m_frequency = ClampFrequency(m_platform->GetFrequency());
    return m_frequency;
}

void TMMDSSoundBuffer::SetFrequency(int32_t frequency)
{
    frequency = ClampFrequency(frequency);
    if (frequency == m_frequency)
        return;
    m_frequency = frequency;
    if (m_platform)
        m_platform->SetFrequency(static_cast<uint32_t>(m_frequency));
}

void TMMDSSoundBuffer::SetMuted(bool muted)
{
    if (muted == m_muted)
        return;
    m_muted = muted;
    if (m_platform)
        m_platform->SetVolume(m_muted ? MinVolume : m_volume);
}

bool TMMDSSoundBuffer::Looping()
{
    if (m_platform) {
        const uint32_t status = StatusOf(*m_platform);
        if (status & DSBSTATUS_PLAYING)
            return (status & DSBSTATUS_LOOPING) != 0;
    }
    return m_looping;
}

void TMMDSSoundBuffer::SetLooping(bool looping)
{
    if (looping == m_looping)
        return;
    m_looping = looping;
    if (m_platform && (StatusOf(*m_platform) & DSBSTATUS_PLAYING))
        m_platform->Play(m_looping);
}

bool TMMDSSoundBuffer::IsPlaying()
{
    return m_platform && (StatusOf(*m_platform) & DSBSTATUS_PLAYING);
}

uint32_t TMMDSSoundBuffer::PlayCursor()
{
    if (m_platform) {
        uint32_t bytes = 0;
        Check(m_platform->GetCurrentPosition(bytes));
        m_cursor = bytes;
    }
    return m_cursor;
}

void TMMDSSoundBuffer::SetPlayCursor(uint32_t bytes)
{
    m_cursor = bytes;
    if (m_platform)
        m_platform->SetCurrentPosition(bytes);
}

// ---- TMMDSWaveMixer: properties and device --------------------------------

TMMDSWaveMixer::TMMDSWaveMixer(ISoundBackend& backend, IClock& clock)
    : m_backend(backend), m_clock(clock), m_productName(NoDevices)
{
    m_devices = m_backend.EnumerateDevices();
    SetDeviceID(0);
}

TMMDSWaveMixer::~TMMDSWaveMixer()
{
    m_destroying = true;
    if (m_pollTimer)
        m_clock.StopTimer(m_pollTimer);
    m_pollTimer = 0;
    // Nothing reports while the mixer goes, so nothing here can raise.
    CloseDevice();
    for (TMMDSMixChannel* channel : m_channels)
        channel->m_mixer = nullptr;
    m_channels.clear();
}

void TMMDSWaveMixer::SetLevel(TMMDSLevel level)
{
    if (IsOpen())
        throw EMMDSWaveMixError("Change to property while device was open");
    m_level = level;
}

TMMDSSpeakerConfig TMMDSWaveMixer::SpeakerConfiguration()
{
    if (IsOpen()) {
        const uint32_t config = m_device->GetSpeakerConfig() & 0xFF;
        // A configuration outside the five known ones reads as the stored one.
        if (config >= 1 && config <= 5)
            return static_cast<TMMDSSpeakerConfig>(config - 1);
    }
    return m_speakerConfig;
}

void TMMDSWaveMixer::SetSpeakerConfiguration(TMMDSSpeakerConfig config)
{
    m_speakerConfig = config;
    if (IsOpen())
        m_device->SetSpeakerConfig(static_cast<uint32_t>(config) + 1);
}

void TMMDSWaveMixer::SetBitLength(TMMBits bits)
{
    m_bitLength = bits;
    ApplyPrimaryFormat();
}

void TMMDSWaveMixer::SetSampleRate(int32_t rate)
{
    m_sampleRate = std::clamp(rate, MinSampleRate, MaxSampleRate);
    ApplyPrimaryFormat();
}

void TMMDSWaveMixer::SetMode(TMMMode mode)
{
    m_mode = mode;
    ApplyPrimaryFormat();
}

void TMMDSWaveMixer::SetUse3D(bool use3D)
{
    if (IsOpen())
        throw EMMDSWaveMixError("Change to property while device was open");
    m_use3D = use3D;
}

void TMMDSWaveMixer::SetDeviceID(int id)
{
    if (IsOpen())
        throw EMMDSWaveMixError("Change to property while device was open");
    m_productName = NoDevices;
    const int count = static_cast<int>(m_devices.size());
    if (count > 1 && id >= 0 && id < count) {
        m_deviceId = id;
        ReadCaps();
        m_productName = m_devices[static_cast<size_t>(id)].Description;
    } else {
        m_deviceId = NoDevice;
    }
}

void TMMDSWaveMixer::SetHeadphones(bool on)
{
    if (IsOpen())
        throw EMMDSWaveMixError("Change to property while device was open");
    m_headphones = on;
}

void TMMDSWaveMixer::ReopenDevice(const std::function<void()>& change)
{
    if (!IsOpen() || m_closing) {
        change();
        return;
    }
    struct TResume {
        TMMDSMixChannel* Channel;
        uint32_t Cursor;
    };
    std::vector<TResume> resume;
    // Plays that ran out before the end poll saw it: their end is still
    // owed, and is reported once the device is back.
    std::vector<TMMDSMixChannel*> ended;
    for (TMMDSMixChannel* channel : m_channels) {
        TMMDSSoundBuffer& buffer = channel->m_buffer;
        if (buffer.m_mixer != this || !buffer.m_playing)
            continue;
        if (buffer.IsPlaying())
            resume.push_back({channel, buffer.PlayCursor()});
        else
            ended.push_back(channel);
    }
    {
        m_reopening = true;
        struct TQuiet {
            bool& Flag;
            ~TQuiet() { Flag = false; }
        } quiet{m_reopening};
        CloseDevice();
    }
    auto stillRegistered = [this](TMMDSMixChannel* channel) {
        return std::find(m_channels.begin(), m_channels.end(), channel) != m_channels.end();
    };
    try {
        change();
        OpenDevice();
        for (const TResume& entry : resume) {
            if (!stillRegistered(entry.Channel))
                continue;
            entry.Channel->PrepareBuffer();
            entry.Channel->m_buffer.SetPlayCursor(entry.Cursor);
            PlayBuffer(&entry.Channel->m_buffer);
        }
    } catch (...) {
        for (TMMDSMixChannel* channel : ended)
            if (stillRegistered(channel))
                ReportEnd(channel->m_buffer, TMMDSPlayEnd::peFinished);
        // Whoever started those plays must learn that they are over.
        for (const TResume& entry : resume)
            if (stillRegistered(entry.Channel) && !entry.Channel->m_buffer.m_playing)
                ReportEnd(entry.Channel->m_buffer, TMMDSPlayEnd::peStopped);
        throw;
    }
    for (TMMDSMixChannel* channel : ended)
        if (stillRegistered(channel))
            ReportEnd(channel->m_buffer, TMMDSPlayEnd::peFinished);
}

void TMMDSWaveMixer::ReadCaps()
{
    const bool wasOpen = IsOpen();
    OpenDevice();
    TDSCaps caps;
    const TDSResult result = m_device->GetCaps(caps);
    if (!wasOpen)
        CloseDevice();
    Check(result);
    m_caps.m_caps = caps;
}

void TMMDSWaveMixer::OpenDevice()
{
    if (IsOpen())
        return;
    if (m_devices.size() < 2)
        throw EMMDSWaveMixError(NoDevices);
    if (m_deviceId == NoDevice)
        throw EMMDSWaveMixError("Invalid DeviceID");
    try {
        std::unique_ptr<ISoundDevice> device;
        m_backend.SetHeadphones(m_headphones);
        const TDSResult result = m_backend.CreateDevice(m_devices.at(static_cast<size_t>(m_deviceId)), device);
        Check(result);
        if (!device)
            throw EDirectSoundError(DSERR_GENERIC);
        m_device = std::move(device);
        Check(m_device->SetCooperativeLevel(static_cast<uint32_t>(m_level) + 1));
        CreatePrimaryBuffer();
        ApplyPrimaryFormat();
        m_device->SetSpeakerConfig(static_cast<uint32_t>(m_speakerConfig) + 1);
        // Keeps the device running between sounds.
        m_primary->Play(true);
    } catch (...) {
        CloseDevice();
        throw;
    }
}

void TMMDSWaveMixer::CreatePrimaryBuffer()
{
    std::unique_ptr<IPrimaryBuffer> primary;
    if (m_use3D) {
        if (m_device->CreatePrimaryBuffer(Primary3DFlags, primary) != DS_OK || !primary)
            throw EDSMixError("3D sound not available");
        m_primary = std::move(primary);
        m_listener.Attach(m_primary.get());
        return;
    }
    TDSResult result = m_device->CreatePrimaryBuffer(PrimaryFlags, primary);
    if (result == DSERR_CONTROLUNAVAIL)
        result = m_device->CreatePrimaryBuffer(DSBCAPS_PRIMARYBUFFER, primary);
    Check(result);
    if (!primary)
        throw EDirectSoundError(DSERR_GENERIC);
    m_primary = std::move(primary);
}

void TMMDSWaveMixer::ApplyPrimaryFormat()
{
    if (!m_primary || m_level == TMMDSLevel::prNormal)
        return;
    const TWaveFormat format = TWaveFormat::Pcm(static_cast<uint16_t>(static_cast<int>(m_mode) + 1),
                                                static_cast<uint32_t>(m_sampleRate),
                                                static_cast<uint16_t>((static_cast<int>(m_bitLength) + 1) * 8));
    if (m_primary->SetFormat(format) != DS_OK)
        throw EMMDSWaveMixError("DirectSound PrimaryBuffer SetFormat failed");
}

void TMMDSWaveMixer::CloseDevice()
{
    // A handler that closes again while a close runs leaves it to the
    // running one.
    if (!IsOpen() || m_closing)
        return;
    m_closing = true;
    struct TClosing {
        bool& Flag;
        ~TClosing() { Flag = false; }
    } closing{m_closing};
    while (!m_buffers.empty())
        FreeBuffer(m_buffers.front());
    m_listener.Detach();
    m_primary.reset();
    m_device.reset();
}

// ---- Buffers --------------------------------------------------------------

bool TMMDSWaveMixer::IsListed(const TMMDSSoundBuffer* buffer) const
{
    return std::find(m_buffers.begin(), m_buffers.end(), buffer) != m_buffers.end();
}

std::string TMMDSWaveMixer::UniqueBufferName(const std::string& name) const
{
    auto used = [this](const std::string& candidate) {
        return std::any_of(m_buffers.begin(), m_buffers.end(),
                           [&](const TMMDSSoundBuffer* buffer) { return buffer->m_name == candidate; });
    };
    if (!name.empty() && !used(name))
        return name;
    for (uint64_t n = 1;; ++n) {
        std::string candidate = name + std::to_string(n);
        if (!used(candidate))
            return candidate;
    }
}

void TMMDSWaveMixer::AddBuffer(const std::string& name, TMMWave& wave, TMMDSSoundBuffer& buffer)
{
    // A handler of the close in progress gets no new buffer: the device is
    // going away under it.
    if (m_closing)
        return;
    const TPcmBufferPlan plan = PlanPcmBuffer(wave);
    OpenDevice();
    // A record is listed once, with one platform buffer. Should the stop's
    // report destroy the record or build it anew, there is nothing left to do.
    if (buffer.m_mixer) {
        const std::shared_ptr<bool> alive = buffer.m_alive;
        buffer.m_mixer->RemoveBuffer(&buffer);
        if (!*alive || buffer.m_mixer)
            return;
    }

    buffer.m_name = UniqueBufferName(name);
    buffer.m_wave = &wave;
    buffer.m_plan = plan;
    buffer.m_platform.reset();
    buffer.m_cursor = 0;

    TSoundBufferDesc desc;
    desc.Flags = m_use3D ? Secondary3DFlags : SecondaryFlags;
    desc.BufferBytes = plan.Bytes;
    desc.Format = plan.Format;
    std::unique_ptr<ISoundBuffer> platform;
    TDSResult result = m_device->CreateSoundBuffer(desc, platform);
    if (result != DS_OK && m_use3D)
        throw EDSMixError("3D sound not available");
    if (result != DS_OK) {
        desc.Flags = SecondaryPlainFlags;
        result = m_device->CreateSoundBuffer(desc, platform);
    }
    Check(result);
    if (!platform)
        throw EDirectSoundError(DSERR_GENERIC);

    buffer.m_platform = std::move(platform);
    buffer.m_platform->SetVolume(buffer.m_muted ? MinVolume : buffer.m_volume);
    buffer.m_platform->SetPan(buffer.m_panning);
    buffer.m_platform->SetFrequency(static_cast<uint32_t>(buffer.m_frequency));
    m_buffers.push_back(&buffer);
    buffer.m_mixer = this;

    try {
        FillBuffer(buffer);
    } catch (const EAmbitoneError&) {
        // The play that asked for the buffer stays silent; the next one
        // tries again.
        FreeBuffer(&buffer);
    } catch (...) {
        FreeBuffer(&buffer);
        throw;
    }
}

void TMMDSWaveMixer::FillBuffer(TMMDSSoundBuffer& buffer)
{
    ISoundBuffer* platform = buffer.m_platform.get();
    if (!platform)
        return;
    uint8_t* region = nullptr;
    uint32_t bytes = 0;
    if (platform->Lock(region, bytes) != DS_OK) {
        ReleasePlatformBuffer(buffer);
        throw EMMDSWaveMixError("DirectSoundBuffer Lock failed");
    }
    struct TUnlock {
        ISoundBuffer* Buffer;
        ~TUnlock() { Buffer->Unlock(); }
    } unlock{platform};
    if (!region)
        bytes = 0;
    const uint32_t written = buffer.m_wave ? FillPcmBuffer(*buffer.m_wave, buffer.m_plan, region, bytes) : 0;
    // Whatever the data does not cover is silence, not stale memory.
    if (written < bytes) {
        const uint8_t silence = buffer.m_plan.Format->wBitsPerSample == 8 ? 0x80 : 0x00;
        std::memset(region + written, silence, bytes - written);
    }
}

void TMMDSWaveMixer::PlayBuffer(TMMDSSoundBuffer* buffer)
{
    if (!buffer || buffer->m_mixer != this || !buffer->m_platform || m_closing)
        return;
    uint32_t status = StatusOf(*buffer->m_platform);
    if (status & DSBSTATUS_BUFFERLOST) {
        if (buffer->m_platform->Restore() != DS_OK)
            throw EMMDSWaveMixError("DirectSoundBuffer restore failed");
        if (m_onBufferLost) {
            const std::shared_ptr<bool> alive = buffer->m_alive;
            bool abort = false;
            m_onBufferLost(*this, *buffer, abort);
            if (!*alive || buffer->m_mixer != this || !buffer->m_platform)
                return;
        }
        FillBuffer(*buffer);
        status = StatusOf(*buffer->m_platform);
    }
    if (status & DSBSTATUS_PLAYING) {
        // A restart: the interrupted play reports nothing.
        if (!buffer->m_playing) {
            CountStart();
            buffer->m_playing = true;
        }
        buffer->m_platform->SetCurrentPosition(0);
        return;
    }
    if (buffer->m_playing) {
        // It ran out before the poll saw it: a restart too, from the first
        // sample rather than from wherever the platform left it.
        buffer->m_platform->SetCurrentPosition(0);
    } else {
        CountStart();
        buffer->m_playing = true;
    }
    buffer->m_platform->Play(buffer->m_looping);
}

void TMMDSWaveMixer::StopBuffer(TMMDSSoundBuffer* buffer)
{
    if (!buffer || buffer->m_mixer != this || !buffer->m_platform)
        return;
    const bool wasPlaying = (StatusOf(*buffer->m_platform) & DSBSTATUS_PLAYING) != 0;
    // Counted by the flag, so that a play that ended unseen is not counted
    // for ever.
    if (buffer->m_playing) {
        buffer->m_playing = false;
        CountEnd();
    }
    buffer->m_platform->Stop();
    buffer->m_platform->SetCurrentPosition(0);
    buffer->m_cursor = 0;
    if (wasPlaying)
        ReportEnd(*buffer, TMMDSPlayEnd::peStopped);
}

void TMMDSWaveMixer::RemoveBuffer(TMMDSSoundBuffer* buffer)
{
    if (!buffer || !IsListed(buffer))
        return;
    const std::shared_ptr<bool> alive = buffer->m_alive;
    StopBuffer(buffer);
    // The end report may have removed or destroyed it already.
    if (!*alive || !IsListed(buffer))
        return;
    ReleasePlatformBuffer(*buffer);
    m_buffers.erase(std::find(m_buffers.begin(), m_buffers.end(), buffer));
    buffer->m_mixer = nullptr;
}

void TMMDSWaveMixer::FreeBuffer(TMMDSSoundBuffer* buffer)
{
    RemoveBuffer(buffer);
}

void TMMDSWaveMixer::ReleasePlatformBuffer(TMMDSSoundBuffer& buffer)
{
    if (buffer.m_playing) {
        buffer.m_playing = false;
        CountEnd();
    }
    if (!buffer.m_platform)
        return;
    // The 3D interface goes before the buffer it came from.
    if (buffer.m_onRelease)
        buffer.m_onRelease();
    buffer.m_platform.reset();
}

void TMMDSWaveMixer::Forget(TMMDSSoundBuffer& buffer)
{
    if (buffer.m_playing) {
        buffer.m_playing = false;
        CountEnd();
    }
    buffer.m_platform.reset();
    auto it = std::find(m_buffers.begin(), m_buffers.end(), &buffer);
    if (it != m_buffers.end())
        m_buffers.erase(it);
    buffer.m_mixer = nullptr;
}

// ---- End poll -------------------------------------------------------------

void TMMDSWaveMixer::CountStart()
{
    if (++m_activePlays != 1)
        return;
    m_pollTimer = m_clock.StartTimer(EndPollMs, [this] { EndPoll(); });
    if (m_pollTimer <= 0) {
        m_pollTimer = 0;
        m_activePlays = 0;
        throw EOutOfResources("Not enough timers available");
    }
}

void TMMDSWaveMixer::CountEnd()
{
    if (m_activePlays == 0 || --m_activePlays > 0)
        return;
    if (m_pollTimer)
        m_clock.StopTimer(m_pollTimer);
    m_pollTimer = 0;
}

void TMMDSWaveMixer::EndPoll()
{
    // Handlers may destroy, reload or replay any channel, so the walk goes
    // over a copy and looks at each record only while it is alive and
    // still listed.
    struct TWatched {
        TMMDSSoundBuffer* Buffer;
        std::shared_ptr<bool> Alive;
    };
    std::vector<TWatched> watched;
    watched.reserve(m_buffers.size());
    for (TMMDSSoundBuffer* buffer : m_buffers)
        watched.push_back({buffer, buffer->m_alive});
    for (const TWatched& entry : watched) {
        if (!*entry.Alive || !IsListed(entry.Buffer))
            continue;
        TMMDSSoundBuffer& buffer = *entry.Buffer;
        if (!buffer.m_playing || !buffer.m_platform)
            continue;
        if (StatusOf(*buffer.m_platform) & DSBSTATUS_PLAYING)
            continue;
        buffer.m_playing = false;
        CountEnd();
        // Like a stop: the next play starts from the first sample wherever
        // the platform left the cursor.
        buffer.m_platform->SetCurrentPosition(0);
        buffer.m_cursor = 0;
        ReportEnd(buffer, TMMDSPlayEnd::peFinished);
    }
}

void TMMDSWaveMixer::ReportEnd(TMMDSSoundBuffer& buffer, TMMDSPlayEnd reason)
{
    if (m_destroying || m_reopening)
        return;
    const std::shared_ptr<bool> alive = buffer.m_alive;
    if (m_onBufferEnd) {
        TBufferEndEvent handler = m_onBufferEnd;
        handler(*this, buffer);
    }
    if (*alive && buffer.m_onEnd) {
        TMMDSSoundBuffer::TEndCallback callback = buffer.m_onEnd;
        callback(reason);
    }
}

void TMMDSWaveMixer::RegisterChannel(TMMDSMixChannel* channel)
{
    if (std::find(m_channels.begin(), m_channels.end(), channel) == m_channels.end())
        m_channels.push_back(channel);
}

void TMMDSWaveMixer::UnregisterChannel(TMMDSMixChannel* channel)
{
    m_channels.erase(std::remove(m_channels.begin(), m_channels.end(), channel), m_channels.end());
}
