// The wave output on OpenAL Soft streaming. One ALC device and context per
// open output, with one source whose queue holds the ring of buffers. The
// output's context is made current per thread (ALC_EXT_thread_local_context)
// around each use, so that the 3D mixer's process-wide context is left alone.
//
// OpenAL reports no completion by itself: the notification thread polls the
// source for processed buffers. Because a buffer comes back already off the
// queue, none of the waits of a window-message device are needed here: stop,
// reset and close take the buffers off the device directly, under the lock,
// and buffers reported before that are recognised as stale by a generation.
#include "music/wave_out.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr const char* kNoDevice = "No wave audio playing device found";
constexpr const char* kInvalidDevice = "Invalid DeviceID";
constexpr const char* kChangeWhileOpen = "Change to property while device was open";
constexpr const char* kInvalidFormat = "Invalid wave format";
constexpr const char* kCannotPlay = "The actual device can't play this format";
constexpr const char* kUnknownError = "Specified error number is out of range (unknown error)";
constexpr const char* kUnableToStart = "Unable to start device";
constexpr const char* kNoMemory = "Unable to allocate memory for wave header";
constexpr const char* kFillError = "Error filling wave buffer";
constexpr const char* kLoopbackName = "OpenAL Soft loopback";
// How often the notification thread looks for played buffers: well inside
// the ~46 ms one 2048-byte buffer lasts at 44100 Hz, 8-bit mono aside.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

std::string Prefixed(const char* prefix, const std::string& text) { return std::string(prefix) + "\n\r" + text; }

std::vector<std::string> SplitNames(const ALCchar* list)
{
    std::vector<std::string> names;
    while (list && *list) {
        names.emplace_back(list);
        list += names.back().size() + 1;
    }
    return names;
}

bool EnumerateAll() { return alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE; }

// The device's text for an AL error code.
std::string AlErrorText(ALenum code)
{
    const ALchar* text = code != AL_NO_ERROR ? alGetString(code) : nullptr;
    return text && *text ? text : kUnknownError;
}

std::string AlcErrorText(ALCdevice* device, ALCenum code)
{
    const ALCchar* text = code != ALC_NO_ERROR ? alcGetString(device, code) : nullptr;
    return text && *text ? text : kUnknownError;
}

PFNALCSETTHREADCONTEXTPROC SetThreadContextProc()
{
    static const auto proc =
        reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(alcGetProcAddress(nullptr, "alcSetThreadContext"));
    return proc;
}

PFNALCGETTHREADCONTEXTPROC GetThreadContextProc()
{
    static const auto proc =
        reinterpret_cast<PFNALCGETTHREADCONTEXTPROC>(alcGetProcAddress(nullptr, "alcGetThreadContext"));
    return proc;
}

// Makes a context current on this thread for a scope and puts the previous
// one back.
class TContextScope {
public:
    explicit TContextScope(ALCcontext* context)
    {
        if (SetThreadContextProc() && GetThreadContextProc()) {
            m_previous = GetThreadContextProc()();
            SetThreadContextProc()(context);
        } else {
            // Without the extension the context is process-wide.
            m_processWide = true;
            m_previous = alcGetCurrentContext();
            alcMakeContextCurrent(context);
        }
    }
    ~TContextScope()
    {
        if (m_processWide)
            alcMakeContextCurrent(m_previous);
        else
            SetThreadContextProc()(m_previous);
    }
    TContextScope(const TContextScope&) = delete;
    TContextScope& operator=(const TContextScope&) = delete;

private:
    ALCcontext* m_previous = nullptr;
    bool m_processWide = false;
};

ALenum AlFormat(const WAVEFORMATEX& f)
{
    if (f.nChannels == 1)
        return f.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return f.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// A record no device could make sense of, as opposed to one this device
// cannot play.
bool IsMalformed(const WAVEFORMATEX& f)
{
    if (f.nChannels == 0 || f.nSamplesPerSec == 0 || f.nBlockAlign == 0)
        return true;
    return f.wFormatTag == WAVE_FORMAT_PCM &&
           (f.wBitsPerSample == 0 || f.nBlockAlign != f.nChannels * ((f.wBitsPerSample + 7) / 8));
}

} // namespace

struct TMMCustomWaveOutComponent::TDevice {
    ALCdevice* Device = nullptr;
    ALCcontext* Context = nullptr;
    ALuint Source = 0;
    ALenum Format = 0;
    ALsizei Rate = 0;
    uint32_t BlockAlign = 1;
    LPALCRENDERSAMPLESSOFT Render = nullptr;
};

TMMCustomWaveOutComponent::TMMCustomWaveOutComponent(IClock& clock, TWaveOutDevice device)
    : m_clock(clock), m_deviceKind(device)
{
    if (device == TWaveOutDevice::Loopback) {
        if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
            m_deviceNames.emplace_back(kLoopbackName);
    } else {
        m_deviceNames = SplitNames(alcGetString(nullptr, EnumerateAll() ? ALC_ALL_DEVICES_SPECIFIER : ALC_DEVICE_SPECIFIER));
    }
    SetDeviceID(0);
}

TMMCustomWaveOutComponent::~TMMCustomWaveOutComponent()
{
    m_destroying = true;
    m_alive.reset();
    Close();
    // A device left by a failed close still goes.
    StopNotifications();
    CloseDevice();
}

// ---- errors and events

void TMMCustomWaveOutComponent::FireError(const std::string& message)
{
    if (m_onError)
        m_onError(*this, message);
}

void TMMCustomWaveOutComponent::Fail(const std::string& message)
{
    FireError(message);
    throw EMMWaveOutError(message);
}

void TMMCustomWaveOutComponent::Fail(const char* prefix, const std::string& text) { Fail(Prefixed(prefix, text)); }

void TMMCustomWaveOutComponent::Fire(const TNotifyEvent& event)
{
    if (event)
        event(*this);
}

// ---- properties

void TMMCustomWaveOutComponent::SetBufferSize(uint32_t size)
{
    if (Opened())
        Fail(kChangeWhileOpen);
    m_pool.clear();
    TMMCustomSoundComponent::SetBufferSize(std::max(size, MinBufferSize));
}

void TMMCustomWaveOutComponent::SetNumBuffers(int count)
{
    if (Opened())
        Fail(kChangeWhileOpen);
    if (count <= 1)
        return;
    m_numBuffers = std::min(count, MaxNumBuffers);
}

void TMMCustomWaveOutComponent::SetDeviceID(int id)
{
    if (Opened())
        Fail(kChangeWhileOpen);
    m_deviceId = id >= WaveMapper && id < NumDevs() ? id : InvalidDeviceID;
    UpdateProductName();
}

void TMMCustomWaveOutComponent::UpdateProductName()
{
    m_productName = kNoDevice;
    if (m_deviceId >= 0) {
        m_productName = m_deviceNames[static_cast<size_t>(m_deviceId)];
    } else if (m_deviceId == WaveMapper && NumDevs() > 0) {
        if (m_deviceKind == TWaveOutDevice::Loopback) {
            m_productName = kLoopbackName;
        } else {
            const ALCchar* name =
                alcGetString(nullptr, EnumerateAll() ? ALC_DEFAULT_ALL_DEVICES_SPECIFIER : ALC_DEFAULT_DEVICE_SPECIFIER);
            if (name && *name)
                m_productName = name;
        }
    }
}

int TMMCustomWaveOutComponent::QueuedBuffers() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_queued;
}

uint64_t TMMCustomWaveOutComponent::PlayedBytes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_playedBytes;
}

bool TMMCustomWaveOutComponent::CanPlay(const WAVEFORMATEX& f) const
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec <= 192000;
}

// ---- the device

void TMMCustomWaveOutComponent::OpenDevice(const WAVEFORMATEX& format)
{
    auto device = std::make_unique<TDevice>();
    device->Format = AlFormat(format);
    device->Rate = static_cast<ALsizei>(format.nSamplesPerSec);
    device->BlockAlign = format.nBlockAlign;
    if (m_deviceKind == TWaveOutDevice::Loopback) {
        const auto open =
            reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        const auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
            alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
        device->Device = open ? open(nullptr) : nullptr;
        if (!device->Device)
            Fail("WaveOutOpen:", AlcErrorText(nullptr, alcGetError(nullptr)));
        if (!supported || !supported(device->Device, device->Rate, ALC_STEREO_SOFT, ALC_SHORT_SOFT)) {
            alcCloseDevice(device->Device);
            Fail("WaveOutOpen:", kCannotPlay);
        }
        device->Render =
            reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device->Device, "alcRenderSamplesSOFT"));
        // What a test renders is what was queued: no limiter, no HRTF.
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                     ALC_FREQUENCY, device->Rate, ALC_HRTF_SOFT, ALC_FALSE,
                                     ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, 0};
        device->Context = alcCreateContext(device->Device, attributes);
    } else {
        const char* name = m_deviceId >= 0 ? m_deviceNames[static_cast<size_t>(m_deviceId)].c_str() : nullptr;
        device->Device = alcOpenDevice(name);
        if (!device->Device)
            Fail("WaveOutOpen:", AlcErrorText(nullptr, alcGetError(nullptr)));
        device->Context = alcCreateContext(device->Device, nullptr);
    }
    if (!device->Context) {
        const std::string text = AlcErrorText(device->Device, alcGetError(device->Device));
        alcCloseDevice(device->Device);
        Fail("WaveOutOpen:", text);
    }

    TContextScope scope(device->Context);
    alGetError();
    alGenSources(1, &device->Source);
    std::vector<ALuint> names(static_cast<size_t>(m_numBuffers));
    alGenBuffers(static_cast<ALsizei>(names.size()), names.data());
    if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(device->Context);
        alcCloseDevice(device->Device);
        Fail("WaveOutOpen:", AlErrorText(error));
    }
    // The output's sound goes out as it came in: centred, unattenuated.
    alSourcei(device->Source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(device->Source, AL_ROLLOFF_FACTOR, 0.0f);
    m_slots.assign(names.size(), TSlot{});
    for (size_t i = 0; i < names.size(); ++i)
        m_slots[i].Name = names[i];
    m_device = std::move(device);
}

void TMMCustomWaveOutComponent::CloseDevice()
{
    if (!m_device)
        return;
    {
        TContextScope scope(m_device->Context);
        alSourceStop(m_device->Source);
        alSourcei(m_device->Source, AL_BUFFER, 0);
        alDeleteSources(1, &m_device->Source);
        for (TSlot& slot : m_slots)
            alDeleteBuffers(1, &slot.Name);
    }
    ReturnBlocks();
    m_slots.clear();
    if (alcGetCurrentContext() == m_device->Context)
        alcMakeContextCurrent(nullptr);
    alcDestroyContext(m_device->Context);
    alcCloseDevice(m_device->Device);
    m_device.reset();
}

void TMMCustomWaveOutComponent::StartNotifications()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = false;
    }
    m_thread = std::thread([this] { NotificationLoop(); });
}

void TMMCustomWaveOutComponent::StopNotifications()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TMMCustomWaveOutComponent::NotificationLoop()
{
    // The device outlives this thread: close joins it before letting go.
    if (SetThreadContextProc())
        SetThreadContextProc()(m_device->Context);
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        SweepLocked();
        m_wake.wait_for(lock, kPollInterval);
    }
    if (SetThreadContextProc())
        SetThreadContextProc()(nullptr);
}

void TMMCustomWaveOutComponent::SweepLocked()
{
    if (!m_device)
        return;
    // Without thread contexts the caller's current context must be ours.
    std::unique_ptr<TContextScope> scope;
    if (!SetThreadContextProc())
        scope = std::make_unique<TContextScope>(m_device->Context);
    ALint processed = 0;
    alGetSourcei(m_device->Source, AL_BUFFERS_PROCESSED, &processed);
    if (processed <= 0)
        return;
    std::vector<ALuint> names(static_cast<size_t>(processed));
    alSourceUnqueueBuffers(m_device->Source, processed, names.data());
    for (const ALuint name : names) {
        --m_queued;
        if (m_resetting) {
            if (m_queued == 0)
                m_resetting = false;
            continue;
        }
        if (m_stopping)
            continue;
        const std::weak_ptr<int> alive = m_alive;
        const uint64_t generation = m_generation;
        m_clock.Post([this, alive, generation, name] {
            if (alive.expired())
                return;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (generation != m_generation)
                    return;
            }
            BufferDone(name);
        });
    }
}

void TMMCustomWaveOutComponent::DropQueueLocked()
{
    TContextScope scope(m_device->Context);
    alSourceStop(m_device->Source);
    alSourcei(m_device->Source, AL_BUFFER, 0);
    m_queued = 0;
    m_resetting = false;
    ++m_generation;
}

void TMMCustomWaveOutComponent::PauseDevice()
{
    TContextScope scope(m_device->Context);
    alSourcePause(m_device->Source);
}

void TMMCustomWaveOutComponent::PlayDevice()
{
    TContextScope scope(m_device->Context);
    alSourcePlay(m_device->Source);
}

bool TMMCustomWaveOutComponent::RenderLoopback(int16_t* out, int frames)
{
    if (!m_device || !m_device->Render || !out || frames <= 0)
        return false;
    TContextScope scope(m_device->Context);
    m_device->Render(m_device->Device, out, frames);
    // Reported here rather than left to the thread, so that a test's next
    // run of the posted work sees every buffer this render finished.
    std::lock_guard<std::mutex> lock(m_lock);
    SweepLocked();
    return true;
}

// ---- buffers

std::vector<uint8_t> TMMCustomWaveOutComponent::TakeBlock(uint32_t size)
{
    auto exact = std::find_if(m_pool.begin(), m_pool.end(), [&](const auto& b) { return b.size() == size; });
    if (exact == m_pool.end())
        exact = std::find_if(m_pool.begin(), m_pool.end(), [&](const auto& b) { return b.size() >= size; });
    if (exact != m_pool.end()) {
        std::vector<uint8_t> block = std::move(*exact);
        m_pool.erase(exact);
        return block;
    }
    try {
        std::vector<uint8_t> block(size, 0);
        ++m_allocatedBlocks;
        return block;
    } catch (const std::bad_alloc&) {
        Fail(kNoMemory);
    }
}

void TMMCustomWaveOutComponent::ReturnBlocks()
{
    for (TSlot& slot : m_slots) {
        if (!slot.Block.empty())
            m_pool.push_back(std::move(slot.Block));
        slot.Block.clear();
        slot.Length = 0;
    }
}

void TMMCustomWaveOutComponent::PrepareSlot(size_t index)
{
    TSlot& slot = m_slots[index];
    if (slot.Block.empty())
        slot.Block = TakeBlock(EffectiveBufferSize());
    slot.Length = 0;
}

uint32_t TMMCustomWaveOutComponent::Fill(TSlot& slot)
{
    TMMBuffer buffer{slot.Block.data(), EffectiveBufferSize(), 0};
    m_moreBuffers = false;
    slot.Length = std::min(PullBuffer(buffer, m_moreBuffers), EffectiveBufferSize());
    return slot.Length;
}

void TMMCustomWaveOutComponent::Write(TSlot& slot)
{
    if (m_onBufferFilled) {
        TMMBuffer buffer{slot.Block.data(), EffectiveBufferSize(), slot.Length};
        m_onBufferFilled(*this, buffer);
    }
    if (m_stopping)
        return;
    // The device takes whole frames only; a torn last frame is completed
    // with silence rather than dropped.
    const uint32_t align = m_device->BlockAlign;
    uint32_t length = slot.Length;
    if (length % align) {
        const uint32_t padded = std::min<uint32_t>((length / align + 1) * align, static_cast<uint32_t>(slot.Block.size()));
        std::fill(slot.Block.begin() + length, slot.Block.begin() + padded, uint8_t{0});
        length = padded - padded % align;
    }
    ALenum error = AL_NO_ERROR;
    {
        TContextScope scope(m_device->Context);
        std::lock_guard<std::mutex> lock(m_lock);
        alGetError();
        alBufferData(slot.Name, m_device->Format, slot.Block.data(), static_cast<ALsizei>(length), m_device->Rate);
        error = alGetError();
        if (error == AL_NO_ERROR) {
            // A source that ran dry has marked everything processed; those
            // buffers go back first, or a new play would repeat them.
            ALint state = AL_INITIAL;
            alGetSourcei(m_device->Source, AL_SOURCE_STATE, &state);
            if (state == AL_STOPPED)
                SweepLocked();
            alSourceQueueBuffers(m_device->Source, 1, &slot.Name);
            error = alGetError();
            if (error == AL_NO_ERROR) {
                ++m_queued;
                if (state == AL_STOPPED && m_playing && !Paused())
                    alSourcePlay(m_device->Source);
            }
        }
    }
    if (error != AL_NO_ERROR)
        Fail("WaveOutWrite:", AlErrorText(error));
    if (m_onBufferQueued)
        m_onBufferQueued(slot.Block.data(), length);
}

// ---- lifecycle

void TMMCustomWaveOutComponent::SetWaveFormat(const WAVEFORMATEX* format)
{
    Close();
    TMMCustomSoundComponent::SetWaveFormat(format);
}

void TMMCustomWaveOutComponent::Open()
{
    if (NumDevs() == 0)
        Fail(kNoDevice);
    if (m_deviceId == InvalidDeviceID)
        Fail(kInvalidDevice);
    const WAVEFORMATEX* format = WaveFormat();
    if (!format || IsMalformed(*format))
        Fail("WaveOutOpen:", kInvalidFormat);
    if (Opened())
        Close();
    try {
        if (!CanPlay(*format))
            Fail("WaveOutOpen:", kCannotPlay);
        // The format is copied: opening the chain must not pull it away.
        const TWaveFormat kept = TWaveFormat::FromBytes(reinterpret_cast<const uint8_t*>(format),
                                                       sizeof(WAVEFORMATEX) + format->cbSize);
        ApplyToChain(TMMChainStep::Open);
        OpenDevice(kept.Header());
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_queued = 0;
            m_playedBytes = 0;
            m_stopping = m_resetting = false;
        }
        StartNotifications();
        TMMDSPComponent::Open();
    } catch (...) {
        FailStep();
    }
    Fire(m_onOpen);
}

void TMMCustomWaveOutComponent::FailStep()
{
    // Our own errors were told when raised; others are told here. Either
    // way the output does not stay open after a fault.
    try {
        throw;
    } catch (const EMMWaveOutError&) {
        CloseAfterFault();
        throw;
    } catch (const std::exception& e) {
        FireError(e.what());
        CloseAfterFault();
        throw;
    }
}

void TMMCustomWaveOutComponent::CloseAfterFault()
{
    // The device or the chain may be half open: both are closed regardless.
    m_closing = false;
    m_closePending = false;
    m_stopPending = false;
    m_playing = false;
    m_handlersInProgress = 0;
    StopNotifications();
    CloseDevice();
    try {
        ApplyToChain(TMMChainStep::Close);
    } catch (...) {
    }
    TMMDSPComponent::Close();
}

void TMMCustomWaveOutComponent::Start()
{
    if (!Opened())
        Open();
    if (!Opened() || m_playing)
        return;
    try {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_playedBytes = 0;
            m_stopping = m_resetting = false;
        }
        m_nextIndex = 0;
        m_endSignalled = false;
        m_stopPending = false;
        PauseDevice();
        ApplyToChain(TMMChainStep::Start);
        TMMDSPComponent::Start();
        m_moreBuffers = true;
        size_t queued = 0;
        for (size_t i = 0; i < m_slots.size() && m_moreBuffers; ++i) {
            PrepareSlot(i);
            if (Fill(m_slots[i]) == 0)
                break;
            Write(m_slots[i]);
            ++queued;
        }
        m_buffersInUse = queued;
        m_playing = true;
        if (queued == 0) {
            ApplyToChain(TMMChainStep::Stop);
            Fail("WaveOutStart:", kUnableToStart);
        }
        if (!Paused())
            PlayDevice();
    } catch (...) {
        FailStep();
    }
    Fire(m_onStart);
}

void TMMCustomWaveOutComponent::Stop()
{
    if (!m_playing && !Paused())
        return;
    if (!m_device) {
        // Paused on a device that never opened: nothing is queued.
        TMMDSPComponent::Stop();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = m_resetting = true;
        DropQueueLocked();
    }
    if (m_handlersInProgress > 0) {
        m_stopPending = true;
        return;
    }
    try {
        DoStop();
    } catch (...) {
        FailStep();
    }
}

void TMMCustomWaveOutComponent::DoStop()
{
    m_playing = false;
    m_stopPending = false;
    ApplyToChain(TMMChainStep::Stop);
    TMMDSPComponent::Stop();
    ReturnBlocks();
    m_nextIndex = 0;
    m_buffersInUse = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = m_resetting = false;
    }
    if (!m_destroying)
        Fire(m_onStop);
    if (m_closePending)
        Close();
}

void TMMCustomWaveOutComponent::Pause()
{
    if (!Opened())
        Open();
    if (!Opened() || Paused())
        return;
    try {
        if (m_playing)
            PauseDevice();
        ApplyToChain(TMMChainStep::Pause);
        TMMDSPComponent::Pause();
    } catch (...) {
        FailStep();
    }
    Fire(m_onPause);
}

void TMMCustomWaveOutComponent::Restart()
{
    if (!m_playing || !Paused())
        return;
    try {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_resetting = false;
        }
        ApplyToChain(TMMChainStep::Restart);
        PlayDevice();
        TMMDSPComponent::Restart();
    } catch (...) {
        FailStep();
    }
    Fire(m_onRestart);
}

void TMMCustomWaveOutComponent::ResetBuffers()
{
    if ((!m_playing && !Paused()) || !m_device)
        return;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_resetting)
            return;
        m_resetting = true;
        DropQueueLocked();
        m_playedBytes = 0;
    }
    m_nextIndex = 0;
    try {
        m_moreBuffers = true;
        size_t queued = 0;
        for (size_t i = 0; i < m_slots.size() && m_moreBuffers; ++i) {
            PrepareSlot(i);
            if (Fill(m_slots[i]) == 0)
                break;
            Write(m_slots[i]);
            ++queued;
        }
        m_buffersInUse = queued;
        if (!Paused() && queued > 0)
            PlayDevice();
        if (queued == 0)
            Stop();
    } catch (...) {
        FailStep();
    }
}

void TMMCustomWaveOutComponent::BufferDone(unsigned name)
{
    try {
        if (!DoBufferDone(name))
            return;
        if (m_handlersInProgress > 0 || m_endSignalled || (!m_stopPending && QueuedBuffers() > 0))
            return;
        // Every buffer is back and none follows (or a stop waited for this
        // handler): the output stops itself, once, from a message of its own.
        m_endSignalled = true;
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stopping = true;
            generation = m_generation;
        }
        PauseDevice();
        const std::weak_ptr<int> alive = m_alive;
        m_clock.Post([this, alive, generation] {
            if (alive.expired())
                return;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                if (generation != m_generation)
                    return;
            }
            Stop();
        });
    } catch (...) {
        FailStep();
    }
}

bool TMMCustomWaveOutComponent::DoBufferDone(unsigned name)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_playing || m_resetting || m_stopping)
            return false;
    }
    const auto found = std::find_if(m_slots.begin(), m_slots.end(), [&](const TSlot& s) { return s.Name == name; });
    if (found == m_slots.end())
        return false;
    TSlot& slot = *found;
    ++m_handlersInProgress;
    // The count goes down however this handler ends, so that a stop can
    // complete after a fault inside it.
    struct THandlerCount {
        int& Count;
        ~THandlerCount() { --Count; }
    } count{m_handlersInProgress};
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_playedBytes += slot.Length;
    }
    if (m_buffersInUse > 0)
        m_nextIndex = (m_nextIndex + 1) % m_buffersInUse;
    {
        TMMBuffer buffer{slot.Block.data(), EffectiveBufferSize(), slot.Length};
        ReportBuffer(buffer);
    }
    if (m_moreBuffers && !m_stopPending && m_playing) {
        if (Fill(slot) == 0) {
            if (!m_stopPending)
                Fail(kFillError);
        } else {
            Write(slot);
        }
    }
    return true;
}

void TMMCustomWaveOutComponent::Close()
{
    if (!Opened() && !m_device)
        return;
    if (m_closing && !m_closePending)
        return;
    m_closing = true;
    // Nothing gets out of a close: a fault leaves the output closed anyway.
    try {
        if (m_playing || Paused()) {
            Stop();
            if (m_stopPending) {
                m_closePending = true;
                return;
            }
        }
        DoClose();
    } catch (...) {
        m_closing = false;
        m_closePending = false;
    }
}

void TMMCustomWaveOutComponent::DoClose()
{
    m_closePending = false;
    StopNotifications();
    CloseDevice();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queued = 0;
        m_playedBytes = 0;
    }
    m_playing = false;
    try {
        ApplyToChain(TMMChainStep::Close);
    } catch (...) {
        TMMDSPComponent::Close();
        m_closing = false;
        throw;
    }
    TMMDSPComponent::Close();
    m_closing = false;
    if (!m_destroying)
        Fire(m_onClose);
}
