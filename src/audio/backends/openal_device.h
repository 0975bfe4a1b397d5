#pragma once
// The ALC device and context behind one device object of the OpenAL Soft
// back end, shared by everything made from it: the 3D sources it keeps track
// of for the listener's roll-off and for deferred settings, and the one
// listener of its context. Private to openal_backend.cpp.

#include "audio/backends/openal_devices.h"
#include "audio/backends/sound_backend.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

constexpr uint32_t kSpeakerStereo = 4;
constexpr float kSpeedOfSound = 343.3f; // metres per second
constexpr uint32_t kMinFrequency = 100;
constexpr uint32_t kMaxFrequency = 200000;

// Device capability flags: mono and stereo, 8 and 16 bits, any rate.
constexpr uint32_t kCapsFlags = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100 | 0x200 | 0x400 | 0x800;

inline float OpenAlGain(int32_t volume)
{
    return volume <= -10000 ? 0.0f : static_cast<float>(std::pow(10.0, volume / 2000.0));
}

enum TOpenAl3DField : uint32_t {
    k3DPosition = 1 << 0,
    k3DVelocity = 1 << 1,
    k3DConeOrientation = 1 << 2,
    k3DConeAngles = 1 << 3,
    k3DConeOutsideVolume = 1 << 4,
    k3DMinDistance = 1 << 5,
    k3DMaxDistance = 1 << 6,
    k3DMode = 1 << 7,
    k3DAll = (1 << 8) - 1,
};

enum TOpenAlListenerField : uint32_t {
    kListenerPosition = 1 << 0,
    kListenerVelocity = 1 << 1,
    kListenerOrientation = 1 << 2,
    kListenerDistanceFactor = 1 << 3,
    kListenerDopplerFactor = 1 << 4,
    kListenerRolloffFactor = 1 << 5,
    kListenerAll = (1 << 6) - 1,
};

class TOpenAlCore;

// The 3D side of a buffer, shared by the buffer and its 3D interfaces, so
// that an interface kept past its buffer only stores.
struct TOpenAl3DState {
    std::shared_ptr<TOpenAlCore> Device;
    ALuint Source = 0; // 0 once the buffer is released
    TDS3DBufferParams Params;
    uint32_t Dirty = 0; // deferred and not yet applied
};

// One ALC device with its context: what every object made from a device
// object shares, and keeps alive as long as any of them exists.
class TOpenAlCore {
public:
    TOpenAlCore(ALCdevice* device, ALCcontext* context) : m_device(device), m_context(context)
    {
        MakeCurrent();
        alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
        if (alIsExtensionPresent("AL_SOFT_deferred_updates")) {
            m_deferUpdates = reinterpret_cast<LPALDEFERUPDATESSOFT>(alGetProcAddress("alDeferUpdatesSOFT"));
            m_processUpdates = reinterpret_cast<LPALPROCESSUPDATESSOFT>(alGetProcAddress("alProcessUpdatesSOFT"));
        }
        m_stereoAngles = alIsExtensionPresent("AL_EXT_STEREO_ANGLES") == AL_TRUE;
        if (alcIsExtensionPresent(device, "ALC_SOFT_loopback"))
            m_render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device, "alcRenderSamplesSOFT"));
        alcGetIntegerv(device, ALC_MONO_SOURCES, 1, &m_monoSources);
        alcGetIntegerv(device, ALC_STEREO_SOURCES, 1, &m_stereoSources);
        ApplyListener(kListenerAll);
    }
    ~TOpenAlCore()
    {
        const TThreadContextProcs& thread = ThreadContextProcs();
        if (thread.Get && thread.Get() == m_context)
            thread.Set(nullptr);
        if (alcGetCurrentContext() == m_context)
            alcMakeContextCurrent(nullptr);
        alcDestroyContext(m_context);
        alcCloseDevice(m_device);
    }
    TOpenAlCore(const TOpenAlCore&) = delete;
    TOpenAlCore& operator=(const TOpenAlCore&) = delete;

    // Opens a context on an open ALC device; closes the device on failure.
    static TDSResult Open(ALCdevice* device, const ALCint* attributes, std::shared_ptr<TOpenAlCore>& out)
    {
        if (!device)
            return DSERR_NODRIVER;
        ALCcontext* context = alcCreateContext(device, attributes);
        if (!context) {
            alcCloseDevice(device);
            return DSERR_GENERIC;
        }
        out = std::make_shared<TOpenAlCore>(device, context);
        return DS_OK;
    }

    // Several devices may be open at once, on several threads (a render to
    // a file runs beside the window's device); AL calls go to the calling
    // thread's current context.
    void MakeCurrent()
    {
        const TThreadContextProcs& thread = ThreadContextProcs();
        if (thread.Set) {
            if (thread.Get() != m_context)
                thread.Set(m_context);
        } else if (alcGetCurrentContext() != m_context) {
            alcMakeContextCurrent(m_context);
        }
    }

    bool Render(int16_t* out, int frames)
    {
        if (!m_render)
            return false;
        m_render(m_device, out, frames);
        return true;
    }

    bool StereoAngles() const { return m_stereoAngles; }
    uint32_t SpeakerConfig = kSpeakerStereo;

    // Source accounting for the capability record.
    int SourceCount = 0;
    int Source3DCount = 0;
    void FillCaps(TDSCaps& caps) const
    {
        const auto total = static_cast<uint32_t>(std::max(m_monoSources + m_stereoSources, 0));
        const auto mono = static_cast<uint32_t>(std::max(m_monoSources, 0));
        caps = TDSCaps{};
        caps.Flags = kCapsFlags;
        caps.MinSecondarySampleRate = kMinFrequency;
        caps.MaxSecondarySampleRate = kMaxFrequency;
        caps.PrimaryBuffers = 1;
        caps.MaxHwMixingAllBuffers = caps.MaxHwMixingStaticBuffers = total;
        caps.FreeHwMixingAllBuffers = caps.FreeHwMixingStaticBuffers =
            total - std::min(total, static_cast<uint32_t>(SourceCount));
        caps.MaxHw3DAllBuffers = caps.MaxHw3DStaticBuffers = mono;
        caps.FreeHw3DAllBuffers = caps.FreeHw3DStaticBuffers =
            mono - std::min(mono, static_cast<uint32_t>(Source3DCount));
    }

    // ---- 3D sources

    void Register(TOpenAl3DState& state)
    {
        m_sources.push_back(&state);
        ApplySource(state, k3DAll);
        alSourcef(state.Source, AL_ROLLOFF_FACTOR, m_appliedRolloff);
    }
    void Unregister(TOpenAl3DState& state)
    {
        std::erase(m_sources, &state);
        std::erase(m_deferredSources, &state);
        state.Dirty = 0;
    }

    // A stored change of the fields in mask, applied now or at the commit.
    void Changed(TOpenAl3DState& state, uint32_t mask, bool deferred)
    {
        if (!state.Source)
            return;
        if (deferred) {
            if (!state.Dirty)
                m_deferredSources.push_back(&state);
            state.Dirty |= mask;
            return;
        }
        ApplySource(state, mask);
        state.Dirty &= ~mask;
        if (!state.Dirty)
            std::erase(m_deferredSources, &state);
    }

    // ---- the listener, one per context

    TDS3DListenerParams Listener;

    void ListenerChanged(uint32_t mask, bool deferred)
    {
        if (deferred) {
            m_listenerDirty |= mask;
            return;
        }
        ApplyListener(mask);
        m_listenerDirty &= ~mask;
    }

    void SetListenerGain(float gain)
    {
        MakeCurrent();
        alListenerf(AL_GAIN, gain);
    }

    // Everything deferred, applied in one mixer update.
    void CommitDeferred()
    {
        MakeCurrent();
        BeginBatch();
        ApplyListener(m_listenerDirty);
        m_listenerDirty = 0;
        for (TOpenAl3DState* state : m_deferredSources) {
            ApplySource(*state, state->Dirty);
            state->Dirty = 0;
        }
        m_deferredSources.clear();
        EndBatch();
    }

private:
    void BeginBatch()
    {
        if (m_deferUpdates)
            m_deferUpdates();
        else
            alcSuspendContext(m_context);
    }
    void EndBatch()
    {
        if (m_processUpdates)
            m_processUpdates();
        else
            alcProcessContext(m_context);
    }

    static void SetAlVector(ALuint source, ALenum param, const TVector3& v)
    {
        alSource3f(source, param, v.X, v.Y, -v.Z);
    }

    void ApplySource(const TOpenAl3DState& state, uint32_t mask)
    {
        if (!mask)
            return;
        MakeCurrent();
        const TDS3DBufferParams& p = state.Params;
        const ALuint s = state.Source;
        // Without 3D the sound sits centred on the listener, undirected.
        const bool disabled = p.Mode == DS3DMODE_DISABLE;
        if (mask & k3DMode) {
            mask |= k3DPosition | k3DVelocity | k3DConeOrientation;
            alSourcei(s, AL_SOURCE_RELATIVE, p.Mode == DS3DMODE_NORMAL ? AL_FALSE : AL_TRUE);
        }
        if (mask & k3DPosition)
            SetAlVector(s, AL_POSITION, disabled ? TVector3{} : p.Position);
        if (mask & k3DVelocity)
            SetAlVector(s, AL_VELOCITY, disabled ? TVector3{} : p.Velocity);
        if (mask & k3DConeOrientation)
            SetAlVector(s, AL_DIRECTION, disabled ? TVector3{} : p.ConeOrientation);
        if (mask & k3DConeAngles) {
            alSourcef(s, AL_CONE_INNER_ANGLE, static_cast<float>(p.InsideConeAngle));
            alSourcef(s, AL_CONE_OUTER_ANGLE, static_cast<float>(p.OutsideConeAngle));
        }
        if (mask & k3DConeOutsideVolume)
            alSourcef(s, AL_CONE_OUTER_GAIN, OpenAlGain(p.ConeOutsideVolume));
        if (mask & k3DMinDistance)
            alSourcef(s, AL_REFERENCE_DISTANCE, p.MinDistance);
        if (mask & k3DMaxDistance)
            alSourcef(s, AL_MAX_DISTANCE, p.MaxDistance);
    }

    void ApplyListener(uint32_t mask)
    {
        if (!mask)
            return;
        MakeCurrent();
        const TDS3DListenerParams& p = Listener;
        if (mask & kListenerPosition)
            alListener3f(AL_POSITION, p.Position.X, p.Position.Y, -p.Position.Z);
        if (mask & kListenerVelocity)
            alListener3f(AL_VELOCITY, p.Velocity.X, p.Velocity.Y, -p.Velocity.Z);
        if (mask & kListenerOrientation) {
            // A zero or parallel pair has no orientation: the last good one stays.
            const TVector3 &f = p.OrientFront, &t = p.OrientTop;
            const float cx = f.Y * t.Z - f.Z * t.Y, cy = f.Z * t.X - f.X * t.Z, cz = f.X * t.Y - f.Y * t.X;
            if (cx * cx + cy * cy + cz * cz > 1e-12f) {
                const ALfloat orientation[6] = {f.X, f.Y, -f.Z, t.X, t.Y, -t.Z};
                alListenerfv(AL_ORIENTATION, orientation);
            }
        }
        if (mask & kListenerDistanceFactor)
            alSpeedOfSound(kSpeedOfSound / p.DistanceFactor);
        if (mask & kListenerDopplerFactor)
            alDopplerFactor(p.DopplerFactor);
        if (mask & kListenerRolloffFactor) {
            // The roll-off is the listener's here, each source's in OpenAL.
            m_appliedRolloff = p.RolloffFactor;
            for (const TOpenAl3DState* state : m_sources)
                alSourcef(state->Source, AL_ROLLOFF_FACTOR, m_appliedRolloff);
        }
    }

    ALCdevice* m_device;
    ALCcontext* m_context;
    LPALCRENDERSAMPLESSOFT m_render = nullptr;
    LPALDEFERUPDATESSOFT m_deferUpdates = nullptr;
    LPALPROCESSUPDATESSOFT m_processUpdates = nullptr;
    bool m_stereoAngles = false;
    ALCint m_monoSources = 0;
    ALCint m_stereoSources = 0;
    std::vector<TOpenAl3DState*> m_sources;
    std::vector<TOpenAl3DState*> m_deferredSources;
    uint32_t m_listenerDirty = 0;
    float m_appliedRolloff = 1;
};
