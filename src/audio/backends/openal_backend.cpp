// The sound device on OpenAL Soft. One ALC device and context per device
// object; every secondary buffer is one AL source playing one AL buffer.
//
// Coordinates: the mixer's frame has +Z in front of the listener, OpenAL's
// listener looks down -Z, so Z is negated on every position, velocity and
// direction that crosses over; +X stays to the right and +Y up.
//
// Distance: inverse distance, clamped, with the reference distance at the
// buffer's MinDistance, so a source ten MinDistances away plays at a tenth of
// the amplitude, and no further fall-off past MaxDistance. The listener's
// distance factor (metres per unit) only changes the speed of sound in units
// per second, which is what Doppler uses; attenuation is unit-free because
// MinDistance and MaxDistance are in the same units as the positions, and
// AL_METERS_PER_UNIT would only feed air absorption, which is off.
#include "audio/backends/openal_device.h"
#include "audio/backends/openal_devices.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string_view>

namespace {

constexpr const char* kModule = "OpenAL Soft";
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
// A scheme can hold a few hundred rows; OpenAL Soft's default of 256
// sources would run out first.
constexpr ALCint kMonoSources = 1024;
constexpr ALCint kStereoSources = 64;

bool IsFinite(const TVector3& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

// Two FNV-1a passes with different bases, so that a device keeps its id as
// long as OpenAL keeps its name, whatever the order of the list.
std::array<uint8_t, 16> GuidFromName(std::string_view name)
{
    std::array<uint8_t, 16> guid{};
    const uint64_t bases[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
    for (int half = 0; half < 2; ++half) {
        uint64_t hash = bases[half];
        for (const char c : name)
            hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
        for (int i = 0; i < 8; ++i)
            guid[half * 8 + i] = static_cast<uint8_t>(hash >> (8 * i));
    }
    guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x80); // version 8: made here
    guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);
    return guid;
}

bool ValidApply(uint32_t apply) { return apply == DS3D_IMMEDIATE || apply == DS3D_DEFERRED; }

bool ValidBufferParams(const TDS3DBufferParams& p)
{
    return IsFinite(p.Position) && IsFinite(p.Velocity) && IsFinite(p.ConeOrientation) &&
           p.InsideConeAngle <= 360 && p.OutsideConeAngle <= 360 && p.ConeOutsideVolume >= -10000 &&
           p.ConeOutsideVolume <= 0 && std::isfinite(p.MinDistance) && p.MinDistance > 0 &&
           std::isfinite(p.MaxDistance) && p.MaxDistance > 0 && p.Mode <= DS3DMODE_DISABLE;
}

bool ValidFactor(float factor) { return std::isfinite(factor) && factor >= 0 && factor <= 10; }

bool ValidListenerParams(const TDS3DListenerParams& p)
{
    return IsFinite(p.Position) && IsFinite(p.Velocity) && IsFinite(p.OrientFront) && IsFinite(p.OrientTop) &&
           std::isfinite(p.DistanceFactor) && p.DistanceFactor > 0 && ValidFactor(p.RolloffFactor) &&
           ValidFactor(p.DopplerFactor);
}

class TOpenAl3DBuffer final : public ISound3DBuffer {
public:
    explicit TOpenAl3DBuffer(std::shared_ptr<TOpenAl3DState> state) : m_state(std::move(state)) {}

    TDSResult SetAllParameters(const TDS3DBufferParams& params, uint32_t apply) override
    {
        return Set(params, k3DAll, apply);
    }
    TDSResult GetAllParameters(TDS3DBufferParams& params) override
    {
        params = m_state->Params;
        return DS_OK;
    }
    TDSResult SetPosition(const TVector3& position, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::Position, position), k3DPosition, apply);
    }
    TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::Velocity, velocity), k3DVelocity, apply);
    }
    TDSResult SetConeOrientation(const TVector3& orientation, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::ConeOrientation, orientation), k3DConeOrientation, apply);
    }
    TDSResult SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply) override
    {
        TDS3DBufferParams params = m_state->Params;
        params.InsideConeAngle = inside;
        params.OutsideConeAngle = outside;
        return Set(params, k3DConeAngles, apply);
    }
    TDSResult SetConeOutsideVolume(int32_t volume, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::ConeOutsideVolume, volume), k3DConeOutsideVolume, apply);
    }
    TDSResult SetMinDistance(float distance, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::MinDistance, distance), k3DMinDistance, apply);
    }
    TDSResult SetMaxDistance(float distance, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::MaxDistance, distance), k3DMaxDistance, apply);
    }
    TDSResult SetMode(uint32_t mode, uint32_t apply) override
    {
        return Set(With(&TDS3DBufferParams::Mode, mode), k3DMode, apply);
    }

private:
    template <typename T>
    TDS3DBufferParams With(T TDS3DBufferParams::* field, const T& value) const
    {
        TDS3DBufferParams params = m_state->Params;
        params.*field = value;
        return params;
    }
    TDSResult Set(const TDS3DBufferParams& params, uint32_t mask, uint32_t apply)
    {
        if (!ValidApply(apply) || !ValidBufferParams(params))
            return DSERR_INVALIDPARAM;
        m_state->Params = params;
        m_state->Device->Changed(*m_state, mask, apply == DS3D_DEFERRED);
        return DS_OK;
    }

    std::shared_ptr<TOpenAl3DState> m_state;
};

class TOpenAlListener final : public ISound3DListener {
public:
    explicit TOpenAlListener(std::shared_ptr<TOpenAlCore> device) : m_device(std::move(device)) {}

    TDSResult SetAllParameters(const TDS3DListenerParams& params, uint32_t apply) override
    {
        return Set(params, kListenerAll, apply);
    }
    TDSResult GetAllParameters(TDS3DListenerParams& params) override
    {
        params = m_device->Listener;
        return DS_OK;
    }
    TDSResult SetPosition(const TVector3& position, uint32_t apply) override
    {
        return Set(With(&TDS3DListenerParams::Position, position), kListenerPosition, apply);
    }
    TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) override
    {
        return Set(With(&TDS3DListenerParams::Velocity, velocity), kListenerVelocity, apply);
    }
    TDSResult SetOrientation(const TVector3& front, const TVector3& top, uint32_t apply) override
    {
        TDS3DListenerParams params = m_device->Listener;
        params.OrientFront = front;
        params.OrientTop = top;
        return Set(params, kListenerOrientation, apply);
    }
    TDSResult SetDistanceFactor(float factor, uint32_t apply) override
    {
        return Set(With(&TDS3DListenerParams::DistanceFactor, factor), kListenerDistanceFactor, apply);
    }
    TDSResult SetDopplerFactor(float factor, uint32_t apply) override
    {
        return Set(With(&TDS3DListenerParams::DopplerFactor, factor), kListenerDopplerFactor, apply);
    }
    TDSResult SetRolloffFactor(float factor, uint32_t apply) override
    {
        return Set(With(&TDS3DListenerParams::RolloffFactor, factor), kListenerRolloffFactor, apply);
    }
    TDSResult CommitDeferredSettings() override
    {
        m_device->CommitDeferred();
        return DS_OK;
    }
    TDSResult SetGain(float gain) override
    {
        if (!(gain >= 0 && gain <= 1))
            return DSERR_INVALIDPARAM;
        m_device->SetListenerGain(gain);
        return DS_OK;
    }

private:
    template <typename T>
    TDS3DListenerParams With(T TDS3DListenerParams::* field, const T& value) const
    {
        TDS3DListenerParams params = m_device->Listener;
        params.*field = value;
        return params;
    }
    TDSResult Set(const TDS3DListenerParams& params, uint32_t mask, uint32_t apply)
    {
        if (!ValidApply(apply) || !ValidListenerParams(params))
            return DSERR_INVALIDPARAM;
        m_device->Listener = params;
        m_device->ListenerChanged(mask, apply == DS3D_DEFERRED);
        return DS_OK;
    }

    std::shared_ptr<TOpenAlCore> m_device;
};

// The device's own mix has no buffer of its own on OpenAL: the primary
// buffer only carries the listener.
class TOpenAlPrimaryBuffer final : public IPrimaryBuffer {
public:
    TOpenAlPrimaryBuffer(std::shared_ptr<TOpenAlCore> device, bool has3D) : m_device(std::move(device)), m_3D(has3D) {}

    TDSResult SetFormat(const TWaveFormat&) override { return DS_OK; }
    void Play(bool) override {}
    TDSResult QueryListener(std::unique_ptr<ISound3DListener>& listener) override
    {
        if (!m_3D)
            return DSERR_CONTROLUNAVAIL;
        listener = std::make_unique<TOpenAlListener>(m_device);
        return DS_OK;
    }

private:
    std::shared_ptr<TOpenAlCore> m_device;
    bool m_3D;
};

// A PCM layout OpenAL takes as it is: 8 or 16 bits, one or two channels.
struct TPcmLayout {
    uint32_t Channels = 1;
    uint32_t Bits = 16;
    uint32_t Rate = 44100;
    uint32_t BlockAlign() const { return Channels * Bits / 8; }
};

TDSResult CheckBufferDesc(const TSoundBufferDesc& desc, TPcmLayout& layout)
{
    if (desc.Flags & DSBCAPS_PRIMARYBUFFER)
        return DSERR_INVALIDPARAM;
    const WAVEFORMATEX& f = desc.Format.Header();
    if (f.wFormatTag != WAVE_FORMAT_PCM || (f.nChannels != 1 && f.nChannels != 2) ||
        (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8 ||
        f.nSamplesPerSec < kMinFrequency || f.nSamplesPerSec > kMaxFrequency)
        return DSERR_BADFORMAT;
    layout = {f.nChannels, f.wBitsPerSample, f.nSamplesPerSec};
    if (desc.BufferBytes < layout.BlockAlign() || desc.BufferBytes > kMaxBufferBytes)
        return DSERR_INVALIDPARAM;
    return DS_OK;
}

ALenum AlFormat(uint32_t channels, uint32_t bits)
{
    if (channels == 1)
        return bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// Stereo frames averaged into mono ones; 8-bit samples are unsigned.
std::vector<uint8_t> MixDown(const uint8_t* data, uint32_t frames, uint32_t bits)
{
    std::vector<uint8_t> mono(frames * (bits / 8));
    if (bits == 8) {
        for (uint32_t i = 0; i < frames; ++i)
            mono[i] = static_cast<uint8_t>((data[2 * i] + data[2 * i + 1]) / 2);
        return mono;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        int16_t lr[2];
        std::memcpy(lr, data + 4 * i, 4);
        const auto m = static_cast<int16_t>((lr[0] + lr[1]) / 2);
        std::memcpy(mono.data() + 2 * i, &m, 2);
    }
    return mono;
}

class TOpenAlSoundBuffer final : public ISoundBuffer {
public:
    TOpenAlSoundBuffer(std::shared_ptr<TOpenAlCore> device, uint32_t flags, uint32_t bytes, const TPcmLayout& layout)
        : m_device(std::move(device)), m_flags(flags), m_bytes(bytes), m_layout(layout),
          m_mixDown((flags & DSBCAPS_CTRL3D) && layout.Channels == 2), m_data(bytes, layout.Bits == 8 ? 0x80 : 0)
    {
    }
    ~TOpenAlSoundBuffer() override
    {
        if (!m_source)
            return;
        m_device->MakeCurrent();
        if (m_3D) {
            m_device->Unregister(*m_3D);
            m_3D->Source = 0;
            --m_device->Source3DCount;
        }
        --m_device->SourceCount;
        alDeleteSources(1, &m_source);
        alDeleteBuffers(1, &m_buffer);
    }
    TOpenAlSoundBuffer(const TOpenAlSoundBuffer&) = delete;
    TOpenAlSoundBuffer& operator=(const TOpenAlSoundBuffer&) = delete;

    // Makes the source and its buffer, silent until the first Unlock.
    TDSResult Create()
    {
        m_device->MakeCurrent();
        alGetError();
        alGenBuffers(1, &m_buffer);
        if (alGetError() != AL_NO_ERROR)
            return DSERR_OUTOFMEMORY;
        alGenSources(1, &m_source);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteBuffers(1, &m_buffer);
            m_source = 0;
            return DSERR_OUTOFMEMORY;
        }
        ++m_device->SourceCount;
        Upload();
        if (m_flags & DSBCAPS_CTRL3D) {
            m_3D = std::make_shared<TOpenAl3DState>();
            m_3D->Device = m_device;
            m_3D->Source = m_source;
            m_device->Register(*m_3D);
            ++m_device->Source3DCount;
        } else {
            alSourcei(m_source, AL_SOURCE_RELATIVE, AL_TRUE);
            alSourcef(m_source, AL_ROLLOFF_FACTOR, 0);
            ApplyPan();
        }
        return alGetError() == AL_NO_ERROR ? DS_OK : DSERR_GENERIC;
    }

    TDSResult GetCaps(uint32_t& flags, uint32_t& bufferBytes) override
    {
        flags = m_flags;
        bufferBytes = m_bytes;
        return DS_OK;
    }

    TDSResult Lock(uint8_t*& region, uint32_t& regionBytes) override
    {
        region = m_data.data();
        regionBytes = m_bytes;
        return DS_OK;
    }

    void Unlock() override
    {
        m_device->MakeCurrent();
        // OpenAL refuses new data for a buffer a source holds: let go of
        // it, then pick the play up where it was.
        const ALint state = State();
        ALint offset = 0;
        if (state == AL_PLAYING)
            alGetSourcei(m_source, AL_BYTE_OFFSET, &offset);
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        Upload();
        if (state == AL_PLAYING) {
            alSourcei(m_source, AL_BYTE_OFFSET, offset);
            alSourcePlay(m_source);
        }
    }

    void Play(bool looping) override
    {
        m_device->MakeCurrent();
        m_looping = looping;
        alSourcei(m_source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        // A play request on a playing buffer only changes its looping;
        // OpenAL's would restart it.
        if (State() == AL_PLAYING)
            return;
        // OpenAL keeps an offset set on a stopped source for its next play.
        if (m_stoppedAt)
            alSourcei(m_source, AL_BYTE_OFFSET, static_cast<ALint>(ToAlBytes(m_stoppedAt)));
        alSourcePlay(m_source);
        m_stoppedAt = 0;
    }

    void Stop() override
    {
        m_device->MakeCurrent();
        if (State() != AL_PLAYING)
            return;
        m_stoppedAt = PlayingOffset();
        alSourceStop(m_source);
    }

    void SetCurrentPosition(uint32_t bytes) override
    {
        if (bytes >= Frames() * m_layout.BlockAlign())
            return;
        bytes -= bytes % m_layout.BlockAlign();
        m_device->MakeCurrent();
        if (State() == AL_PLAYING)
            alSourcei(m_source, AL_BYTE_OFFSET, static_cast<ALint>(ToAlBytes(bytes)));
        else
            m_stoppedAt = bytes;
    }

    TDSResult GetCurrentPosition(uint32_t& playBytes) override
    {
        m_device->MakeCurrent();
        playBytes = State() == AL_PLAYING ? PlayingOffset() : m_stoppedAt;
        return DS_OK;
    }

    TDSResult GetStatus(uint32_t& status) override
    {
        m_device->MakeCurrent();
        status = 0;
        if (State() == AL_PLAYING)
            status = DSBSTATUS_PLAYING | (m_looping ? DSBSTATUS_LOOPING : 0);
        return DS_OK;
    }

    TDSResult Restore() override { return DS_OK; }

    void SetVolume(int32_t volume) override
    {
        m_volume = std::clamp(volume, -10000, 0);
        m_device->MakeCurrent();
        alSourcef(m_source, AL_GAIN, OpenAlGain(m_volume));
    }
    int32_t GetVolume() override { return m_volume; }

    void SetPan(int32_t pan) override
    {
        m_pan = std::clamp(pan, -10000, 10000);
        // A 3D buffer's place is its position.
        if (!m_3D)
            ApplyPan();
    }
    int32_t GetPan() override { return m_pan; }

    void SetFrequency(uint32_t frequency) override
    {
        if (frequency != 0 && (frequency < kMinFrequency || frequency > kMaxFrequency))
            return;
        m_frequency = frequency;
        m_device->MakeCurrent();
        alSourcef(m_source, AL_PITCH, frequency ? static_cast<float>(frequency) / m_layout.Rate : 1.0f);
    }
    uint32_t GetFrequency() override { return m_frequency ? m_frequency : m_layout.Rate; }

    TDSResult Query3DBuffer(std::unique_ptr<ISound3DBuffer>& buffer3D) override
    {
        if (!m_3D)
            return DSERR_CONTROLUNAVAIL;
        buffer3D = std::make_unique<TOpenAl3DBuffer>(m_3D);
        return DS_OK;
    }

private:
    uint32_t Frames() const { return m_bytes / m_layout.BlockAlign(); }
    uint32_t AlBlockAlign() const { return (m_mixDown ? 1 : m_layout.Channels) * m_layout.Bits / 8; }
    uint32_t ToAlBytes(uint32_t bytes) const { return bytes / m_layout.BlockAlign() * AlBlockAlign(); }

    ALint State() const
    {
        ALint state = AL_INITIAL;
        alGetSourcei(m_source, AL_SOURCE_STATE, &state);
        return state;
    }

    uint32_t PlayingOffset() const
    {
        ALint offset = 0;
        alGetSourcei(m_source, AL_BYTE_OFFSET, &offset);
        return static_cast<uint32_t>(std::max(offset, 0)) / AlBlockAlign() * m_layout.BlockAlign();
    }

    // The CPU copy into the AL buffer, which is attached again.
    void Upload()
    {
        const ALsizei rate = static_cast<ALsizei>(m_layout.Rate);
        if (m_mixDown) {
            const std::vector<uint8_t> mono = MixDown(m_data.data(), Frames(), m_layout.Bits);
            alBufferData(m_buffer, AlFormat(1, m_layout.Bits), mono.data(), static_cast<ALsizei>(mono.size()), rate);
        } else {
            alBufferData(m_buffer, AlFormat(m_layout.Channels, m_layout.Bits), m_data.data(),
                         static_cast<ALsizei>(Frames() * m_layout.BlockAlign()), rate);
        }
        alSourcei(m_source, AL_BUFFER, static_cast<ALint>(m_buffer));
    }

    // Pan as a direction on the unit circle in front: the angle grows
    // linearly to 90 degrees at either end, so sin and cos of it give a
    // constant-power left/right split to whatever pans the source. A stereo
    // source keeps its width and is turned as a whole, both channels
    // meeting at the side at full pan.
    void ApplyPan()
    {
        m_device->MakeCurrent();
        const double p = m_pan / 10000.0;
        constexpr double kHalfPi = std::numbers::pi / 2;
        if (m_layout.Channels == 1) {
            const double theta = p * kHalfPi;
            alSource3f(m_source, AL_POSITION, static_cast<float>(std::sin(theta)), 0.0f,
                       static_cast<float>(-std::cos(theta)));
        } else if (m_device->StereoAngles()) {
            // OpenAL's angles run anticlockwise from the front: left positive.
            constexpr double kSide = std::numbers::pi / 6;
            const double toward = p >= 0 ? -kHalfPi : kHalfPi;
            const double amount = std::abs(p);
            const ALfloat angles[2] = {static_cast<float>(kSide + amount * (toward - kSide)),
                                       static_cast<float>(-kSide + amount * (toward + kSide))};
            alSourcefv(m_source, AL_STEREO_ANGLES, angles);
        }
    }

    std::shared_ptr<TOpenAlCore> m_device;
    uint32_t m_flags;
    uint32_t m_bytes;
    TPcmLayout m_layout;
    bool m_mixDown;
    std::vector<uint8_t> m_data;
    ALuint m_source = 0;
    ALuint m_buffer = 0;
    std::shared_ptr<TOpenAl3DState> m_3D;
    int32_t m_volume = 0;
    int32_t m_pan = 0;
    uint32_t m_frequency = 0;
    bool m_looping = false;
    uint32_t m_stoppedAt = 0; // own-format bytes, while not playing
};

class TOpenAlDevice final : public ISoundDevice {
public:
    explicit TOpenAlDevice(std::shared_ptr<TOpenAlCore> device) : m_device(std::move(device)) {}

    TDSResult SetCooperativeLevel(uint32_t) override { return DS_OK; }

    TDSResult CreatePrimaryBuffer(uint32_t flags, std::unique_ptr<IPrimaryBuffer>& primary) override
    {
        primary = std::make_unique<TOpenAlPrimaryBuffer>(m_device, (flags & DSBCAPS_CTRL3D) != 0);
        return DS_OK;
    }

    TDSResult CreateSoundBuffer(const TSoundBufferDesc& desc, std::unique_ptr<ISoundBuffer>& buffer) override
    {
        TPcmLayout layout;
        if (const TDSResult result = CheckBufferDesc(desc, layout); result != DS_OK)
            return result;
        auto made = std::make_unique<TOpenAlSoundBuffer>(m_device, desc.Flags, desc.BufferBytes, layout);
        if (const TDSResult result = made->Create(); result != DS_OK)
            return result;
        buffer = std::move(made);
        return DS_OK;
    }

    TDSResult GetCaps(TDSCaps& caps) override
    {
        m_device->FillCaps(caps);
        return DS_OK;
    }

    void SetSpeakerConfig(uint32_t config) override { m_device->SpeakerConfig = config; }
    uint32_t GetSpeakerConfig() override { return m_device->SpeakerConfig; }

private:
    std::shared_ptr<TOpenAlCore> m_device;
};

class TOpenAlBackend final : public ISoundBackend {
public:
    void SetHeadphones(bool on) override { m_headphones = on; }
    std::string HeadphonesUnavailable() const override { return m_headphoneReason; }

    std::vector<TSoundDeviceEntry> EnumerateDevices() override
    {
        const std::vector<std::string> names = OpenAlOutputDeviceNames();
        if (names.empty())
            return {};
        const std::string defaultName = OpenAlDefaultDeviceName();
        std::vector<TSoundDeviceEntry> entries;
        entries.push_back({std::nullopt, defaultName.empty() ? names.front() : defaultName, kModule});
        for (const std::string& name : names)
            entries.push_back({GuidFromName(name), name, kModule});
        return entries;
    }

    TDSResult CreateDevice(const TSoundDeviceEntry& entry, std::unique_ptr<ISoundDevice>& device) override
    {
        std::string name;
        if (entry.Guid) {
            const std::vector<std::string> names = OpenAlOutputDeviceNames();
            const auto found = std::find_if(names.begin(), names.end(),
                                            [&](const std::string& n) { return GuidFromName(n) == *entry.Guid; });
            if (found == names.end())
                return DSERR_NODRIVER;
            name = *found;
        }
        // Off means plain stereo panning even where the library's own
        // settings would switch HRTF on for headphones it detects.
        const ALCint attributes[] = {ALC_HRTF_SOFT,      m_headphones ? ALC_TRUE : ALC_FALSE,
                                     ALC_MONO_SOURCES,   kMonoSources,
                                     ALC_STEREO_SOURCES, kStereoSources,
                                     0};
        ALCdevice* alDevice = alcOpenDevice(entry.Guid ? name.c_str() : nullptr);
        std::shared_ptr<TOpenAlCore> core;
        const TDSResult result = TOpenAlCore::Open(alDevice, attributes, core);
        if (result != DS_OK)
            return result;
        // A device that cannot have HRTF plays plain stereo: the sound goes
        // on, and the reason is there for whoever asked.
        m_headphoneReason = OpenAlHeadphoneReason(alDevice, m_headphones);
        device = std::make_unique<TOpenAlDevice>(core);
        return result;
    }

private:
    bool m_headphones = false;
    std::string m_headphoneReason = kNoHeadphoneRendering; // until a device opened
};

ALCenum LoopbackChannels(int channels)
{
    switch (channels) {
    case 1: return ALC_MONO_SOFT;
    case 2: return ALC_STEREO_SOFT;
    case 4: return ALC_QUAD_SOFT;
    case 6: return ALC_5POINT1_SOFT;
    case 7: return ALC_6POINT1_SOFT;
    case 8: return ALC_7POINT1_SOFT;
    default: return 0;
    }
}

class TOpenAlLoopbackBackend final : public ISoundBackend, public ILoopbackRenderer {
public:
    TOpenAlLoopbackBackend(int sampleRate, int channels, bool hrtf)
        : m_rate(sampleRate), m_channels(channels), m_hrtf(hrtf)
    {
    }

    std::vector<TSoundDeviceEntry> EnumerateDevices() override
    {
        return {{std::nullopt, kOpenAlLoopbackName, kModule},
                {GuidFromName(kOpenAlLoopbackName), kOpenAlLoopbackName, kModule}};
    }

    void SetHeadphones(bool on) override { m_hrtf = on; }
    std::string HeadphonesUnavailable() const override { return m_headphoneReason; }

    // One device at a time: it is the one Render mixes.
    TDSResult CreateDevice(const TSoundDeviceEntry&, std::unique_ptr<ISoundDevice>& device) override
    {
        if (!m_device.expired())
            return DSERR_ALLOCATED;
        if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
            return DSERR_NODRIVER;
        const auto open =
            reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        const auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
            alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
        const ALCenum channels = LoopbackChannels(m_channels);
        ALCdevice* alDevice = open ? open(nullptr) : nullptr;
        if (!alDevice)
            return DSERR_NODRIVER;
        if (!channels || !supported || !supported(alDevice, m_rate, channels, ALC_SHORT_SOFT)) {
            alcCloseDevice(alDevice);
            return DSERR_BADFORMAT;
        }
        // Rendered output is measured and compared: no limiter, and no HRTF
        // unless asked for (a config file could otherwise switch it on), so
        // that the mix is a plain, level-true sum of its sources.
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                     channels,
                                     ALC_FORMAT_TYPE_SOFT,
                                     ALC_SHORT_SOFT,
                                     ALC_FREQUENCY,
                                     m_rate,
                                     ALC_HRTF_SOFT,
                                     m_hrtf ? ALC_TRUE : ALC_FALSE,
                                     ALC_OUTPUT_LIMITER_SOFT,
                                     ALC_FALSE,
                                     ALC_MONO_SOURCES,
                                     kMonoSources,
                                     ALC_STEREO_SOURCES,
                                     kStereoSources,
                                     0};
        std::shared_ptr<TOpenAlCore> core;
        const TDSResult result = TOpenAlCore::Open(alDevice, attributes, core);
        if (result != DS_OK)
            return result;
        // Asked-for HRTF that the library could not set up (no data set
        // for the rate) would render plain stereo without telling.
        m_headphoneReason = OpenAlHeadphoneReason(alDevice, m_hrtf);
        if (m_hrtf && !m_headphoneReason.empty())
            return DSERR_UNSUPPORTED;
        m_device = core;
        device = std::make_unique<TOpenAlDevice>(core);
        return DS_OK;
    }

    int SampleRate() const override { return m_rate; }
    int Channels() const override { return m_channels; }

    void Render(int16_t* out, int frames) override
    {
        if (!out || frames <= 0)
            return;
        const std::shared_ptr<TOpenAlCore> device = m_device.lock();
        if (!device || !device->Render(out, frames))
            std::fill_n(out, static_cast<size_t>(frames) * static_cast<size_t>(std::max(m_channels, 0)), int16_t{0});
    }

private:
    int m_rate;
    int m_channels;
    bool m_hrtf;
    std::string m_headphoneReason = kNoHeadphoneRendering;
    std::weak_ptr<TOpenAlCore> m_device; // owned by the device object and its buffers
};

} // namespace

std::unique_ptr<ISoundBackend> CreateOpenAlBackend() { return std::make_unique<TOpenAlBackend>(); }

TLoopbackBackend CreateOpenAlLoopbackBackend(int sampleRate, int channels, bool hrtf)
{
    auto backend = std::make_unique<TOpenAlLoopbackBackend>(sampleRate, channels, hrtf);
    ILoopbackRenderer* renderer = backend.get();
    return {std::move(backend), renderer};
}
