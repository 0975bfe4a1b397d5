// The queued wave stream on OpenAL Soft streaming: one ALC device and context
// per stream, with one source whose buffer queue is the ring.
//
// The 3D sound device keeps its context current process-wide; a stream makes
// its own context current on the calling thread only
// (ALC_EXT_thread_local_context), around each call, and puts back whatever
// that thread had before. It never calls alcMakeContextCurrent: that would
// also clear the thread's context and, worse, the 3D device's. Without the
// extension no stream opens.
#include "audio/backends/openal_devices.h"
#include "audio/backends/wave_stream_backend.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>

namespace {

constexpr const char* kNoThreadContext = "ALC_EXT_thread_local_context is not available";

// Makes a context current on this thread for a scope, then puts back the
// thread's previous one. Only made once ThreadContextProcs() has both.
class TThreadContext {
public:
    explicit TThreadContext(ALCcontext* context) : m_previous(ThreadContextProcs().Get())
    {
        ThreadContextProcs().Set(context);
    }
    ~TThreadContext() { ThreadContextProcs().Set(m_previous); }
    TThreadContext(const TThreadContext&) = delete;
    TThreadContext& operator=(const TThreadContext&) = delete;

private:
    ALCcontext* m_previous;
};

// The device's own text for an error; empty when it has none. AL texts need
// the stream's context current.
std::string AlErrorText(ALenum code)
{
    const ALchar* text = code != AL_NO_ERROR ? alGetString(code) : nullptr;
    return text ? text : "";
}

std::string AlcErrorText(ALCdevice* device)
{
    const ALCenum code = alcGetError(device);
    const ALCchar* text = code != ALC_NO_ERROR ? alcGetString(device, code) : nullptr;
    return text ? text : "";
}

[[noreturn]] void RaiseDevice(const std::string& text)
{
    throw EWaveStreamError(EWaveStreamError::TKind::Device, text);
}

[[noreturn]] void RaiseFormat()
{
    throw EWaveStreamError(EWaveStreamError::TKind::Format, "");
}

// 0 for a format the stream cannot carry.
ALenum AlFormat(const WAVEFORMATEX& f)
{
    if (f.wFormatTag != WAVE_FORMAT_PCM || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16))
        return 0;
    if (f.nChannels == 1)
        return f.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    if (f.nChannels == 2)
        return f.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
    return 0;
}

class TOpenAlWaveStream final : public IWaveStream {
public:
    // Takes over an open device and its context. Every device lists the
    // loopback extension; only a loopback device may be rendered.
    TOpenAlWaveStream(ALCdevice* device, ALCcontext* context, ALenum format, ALsizei rate, bool loopback)
        : m_device(device), m_context(context), m_format(format), m_rate(rate)
    {
        if (loopback)
            m_render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device, "alcRenderSamplesSOFT"));
    }

    ~TOpenAlWaveStream() override
    {
        {
            TThreadContext scope(m_context);
            if (m_source) {
                alSourceStop(m_source);
                alSourcei(m_source, AL_BUFFER, 0);
                alDeleteSources(1, &m_source);
            }
            if (!m_buffers.empty())
                alDeleteBuffers(static_cast<ALsizei>(m_buffers.size()), m_buffers.data());
        }
        alcDestroyContext(m_context);
        alcCloseDevice(m_device);
    }

    TOpenAlWaveStream(const TOpenAlWaveStream&) = delete;
    TOpenAlWaveStream& operator=(const TOpenAlWaveStream&) = delete;

    // The source and the ring; on a failure the destructor lets go of
    // whatever was made.
    void CreateObjects(int buffers, bool failAfterSource)
    {
        TThreadContext scope(m_context);
        alGetError();
        ALuint source = 0;
        alGenSources(1, &source);
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            RaiseDevice(AlErrorText(error));
        m_source = source;
        std::vector<ALuint> names(static_cast<size_t>(std::max(buffers, 0)));
        alGenBuffers(static_cast<ALsizei>(names.size()), names.data());
        ALenum error = alGetError();
        if (error == AL_NO_ERROR)
            m_buffers = std::move(names);
        if (failAfterSource)
            error = AL_OUT_OF_MEMORY;
        if (error != AL_NO_ERROR)
            RaiseDevice(AlErrorText(error));
        // The stream goes out as it came in: centred, unattenuated.
        alSourcei(m_source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(m_source, AL_ROLLOFF_FACTOR, 0.0f);
    }

    void Load(int buffer, const uint8_t* data, uint32_t bytes) override
    {
        TThreadContext scope(m_context);
        alGetError();
        alBufferData(Name(buffer), m_format, data, static_cast<ALsizei>(bytes), m_rate);
        RaiseOnError();
    }

    void Enqueue(int buffer) override
    {
        TThreadContext scope(m_context);
        alGetError();
        ALuint name = Name(buffer);
        // Name 0 would queue an empty buffer rather than fail.
        if (name == 0)
            RaiseDevice(AlErrorText(AL_INVALID_NAME));
        alSourceQueueBuffers(m_source, 1, &name);
        RaiseOnError();
    }

    void TakePlayed(std::vector<int>& played) override
    {
        played.clear();
        TThreadContext scope(m_context);
        ALint processed = 0;
        alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &processed);
        if (processed <= 0)
            return;
        std::vector<ALuint> names(static_cast<size_t>(processed));
        alSourceUnqueueBuffers(m_source, processed, names.data());
        for (const ALuint name : names) {
            const auto found = std::find(m_buffers.begin(), m_buffers.end(), name);
            if (found != m_buffers.end())
                played.push_back(static_cast<int>(found - m_buffers.begin()));
        }
    }

    bool Stopped() override
    {
        TThreadContext scope(m_context);
        ALint state = AL_INITIAL;
        alGetSourcei(m_source, AL_SOURCE_STATE, &state);
        return state == AL_STOPPED;
    }

    void Play() override
    {
        TThreadContext scope(m_context);
        alSourcePlay(m_source);
    }

    void Pause() override
    {
        TThreadContext scope(m_context);
        alSourcePause(m_source);
    }

    void Drop() override
    {
        TThreadContext scope(m_context);
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        // Back to the initial state: a stopped source counts every buffer
        // queued on it as played, which would skip the refilled ring.
        alSourceRewind(m_source);
    }

    bool Render(int16_t* out, int frames) override
    {
        if (!m_render || !out || frames <= 0)
            return false;
        TThreadContext scope(m_context);
        m_render(m_device, out, frames);
        return true;
    }

private:
    ALuint Name(int buffer) const
    {
        return buffer >= 0 && static_cast<size_t>(buffer) < m_buffers.size() ? m_buffers[static_cast<size_t>(buffer)]
                                                                             : 0;
    }

    void RaiseOnError()
    {
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            RaiseDevice(AlErrorText(error));
    }

    ALCdevice* m_device;
    ALCcontext* m_context;
    ALenum m_format;
    ALsizei m_rate;
    LPALCRENDERSAMPLESSOFT m_render = nullptr;
    ALuint m_source = 0;
    std::vector<ALuint> m_buffers;
};

// Makes a context on an open device and the stream on both; closes the
// device when the context fails.
std::unique_ptr<IWaveStream> OpenStream(ALCdevice* device, const ALCint* attributes, const WAVEFORMATEX& format,
                                        int buffers, bool loopback, bool failAfterSource)
{
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context) {
        const std::string text = AlcErrorText(device);
        alcCloseDevice(device);
        RaiseDevice(text);
    }
    auto stream = std::make_unique<TOpenAlWaveStream>(device, context, AlFormat(format),
                                                      static_cast<ALsizei>(format.nSamplesPerSec), loopback);
    stream->CreateObjects(buffers, failAfterSource);
    return stream;
}

void CheckOpenable(const WAVEFORMATEX& format)
{
    if (!ThreadContextProcs().Set)
        RaiseDevice(kNoThreadContext);
    if (!AlFormat(format) || format.nSamplesPerSec == 0)
        RaiseFormat();
}

class TOpenAlWaveStreamBackend final : public IWaveStreamBackend {
public:
    std::vector<std::string> DeviceNames() override { return OpenAlOutputDeviceNames(); }
    std::string DefaultDeviceName() override { return OpenAlDefaultDeviceName(); }

    std::unique_ptr<IWaveStream> Open(const std::string& device, const WAVEFORMATEX& format, int buffers) override
    {
        CheckOpenable(format);
        ALCdevice* alDevice = alcOpenDevice(device.empty() ? nullptr : device.c_str());
        if (!alDevice)
            RaiseDevice(AlcErrorText(nullptr));
        return OpenStream(alDevice, nullptr, format, buffers, false, false);
    }
};

class TOpenAlLoopbackWaveStreamBackend final : public IWaveStreamBackend {
public:
    explicit TOpenAlLoopbackWaveStreamBackend(TLoopbackWaveStreamOptions options) : m_options(options) {}

    std::vector<std::string> DeviceNames() override
    {
        if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") != ALC_TRUE)
            return {};
        return {kOpenAlLoopbackName};
    }
    std::string DefaultDeviceName() override { return DeviceNames().empty() ? "" : kOpenAlLoopbackName; }

    std::unique_ptr<IWaveStream> Open(const std::string&, const WAVEFORMATEX& format, int buffers) override
    {
        CheckOpenable(format);
        const auto open =
            reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        const auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
            alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
        ALCdevice* device = open ? open(nullptr) : nullptr;
        if (!device)
            RaiseDevice(AlcErrorText(nullptr));
        const auto rate = static_cast<ALCint>(format.nSamplesPerSec);
        if (!supported || !supported(device, rate, ALC_STEREO_SOFT, ALC_SHORT_SOFT)) {
            alcCloseDevice(device);
            RaiseFormat();
        }
        // What a test renders is what was queued: no limiter, no HRTF.
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                     ALC_STEREO_SOFT,
                                     ALC_FORMAT_TYPE_SOFT,
                                     ALC_SHORT_SOFT,
                                     ALC_FREQUENCY,
                                     rate,
                                     ALC_HRTF_SOFT,
                                     ALC_FALSE,
                                     ALC_OUTPUT_LIMITER_SOFT,
                                     ALC_FALSE,
                                     0};
        return OpenStream(device, attributes, format, buffers, true, m_options.FailOpenAfterSource);
    }

private:
    TLoopbackWaveStreamOptions m_options;
};

} // namespace

std::unique_ptr<IWaveStreamBackend> CreateOpenAlWaveStreamBackend()
{
    return std::make_unique<TOpenAlWaveStreamBackend>();
}

std::unique_ptr<IWaveStreamBackend> CreateOpenAlLoopbackWaveStreamBackend(TLoopbackWaveStreamOptions options)
{
    return std::make_unique<TOpenAlLoopbackWaveStreamBackend>(options);
}
