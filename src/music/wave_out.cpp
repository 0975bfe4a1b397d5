// The wave output's properties, errors and lifecycle: open, start, pause,
// restart, stop, reset and close, with the pending stop and close of a
// buffer handler in progress. The stream, the notification thread and the
// ring of buffers are in wave_out_stream.cpp.
#include "music/wave_out.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* kNoDevice = "No wave audio playing device found";
constexpr const char* kInvalidDevice = "Invalid DeviceID";
constexpr const char* kChangeWhileOpen = "Change to property while device was open";
constexpr const char* kInvalidFormat = "Invalid wave format";
constexpr const char* kCannotPlay = "The actual device can't play this format";
constexpr const char* kUnknownError = "Specified error number is out of range (unknown error)";
constexpr const char* kUnableToStart = "Unable to start device";

std::string Prefixed(const char* prefix, const std::string& text) { return std::string(prefix) + "\n\r" + text; }

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

TMMCustomWaveOutComponent::TMMCustomWaveOutComponent(IClock& clock, TWaveOutDevice device)
    : TMMCustomWaveOutComponent(clock, device == TWaveOutDevice::Loopback ? CreateOpenAlLoopbackWaveStreamBackend()
                                                                           : CreateOpenAlWaveStreamBackend())
{
}

TMMCustomWaveOutComponent::TMMCustomWaveOutComponent(IClock& clock, std::unique_ptr<IWaveStreamBackend> backend)
    : m_clock(clock), m_backend(std::move(backend))
{
    m_deviceNames = m_backend->DeviceNames();
    SetDeviceID(0);
}

TMMCustomWaveOutComponent::~TMMCustomWaveOutComponent()
{
    m_destroying = true;
    {
        // The notification thread copies the token whenever it posts.
        std::lock_guard<std::mutex> lock(m_lock);
        m_alive.reset();
    }
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

std::string TMMCustomWaveOutComponent::DeviceText(const EWaveStreamError& e)
{
    if (e.Kind() == EWaveStreamError::TKind::Format)
        return kCannotPlay;
    return *e.what() ? e.what() : kUnknownError;
}

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
        if (std::string name = m_backend->DefaultDeviceName(); !name.empty())
            m_productName = std::move(name);
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
    if (Opened() || m_stream) {
        // A handler still holds the device; the open follows its close.
        m_openPending = true;
        return;
    }
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
    m_openPending = false;
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
        const size_t queued = FillRing();
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
    if (!m_stream) {
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
    if ((!m_playing && !Paused()) || !m_stream)
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
        const size_t queued = FillRing();
        if (!Paused() && queued > 0)
            PlayDevice();
        if (queued == 0)
            Stop();
    } catch (...) {
        FailStep();
    }
}

void TMMCustomWaveOutComponent::Close()
{
    if (!Opened() && !m_stream)
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
        m_openPending = false;
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
        m_openPending = false;
        throw;
    }
    TMMDSPComponent::Close();
    m_closing = false;
    if (!m_destroying)
        Fire(m_onClose);
    if (std::exchange(m_openPending, false) && !m_destroying)
        Open();
}
