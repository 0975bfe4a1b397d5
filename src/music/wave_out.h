#pragma once
// The sink of a playback chain: one queued wave stream (IWaveStream; OpenAL
// Soft streaming in the program) with a ring of NumBuffers buffers queued on
// it. Every buffer is pulled up the chain, and refilled and queued again as
// soon as the device has played it; after the chain's last data the output
// stops itself.
//
// Contract: every public call, every event and every chain call runs on the
// user-interface thread. One notification thread per open device watches for
// played buffers; it only unqueues them, updates the queued count under the
// output's lock and posts the buffer to the user-interface thread through the
// IClock, where the refill runs. Every raise of this class fires OnError
// first and throws EMMWaveOutError; a failure during open, start, pause,
// restart, stop, reset buffers or a refill leaves the output closed. A refill
// that fails propagates to whoever runs the clock's posted work. An open asked
// for while a buffer handler still holds the device (a close is pending)
// happens once that close is done.

#include "audio/backends/wave_stream_backend.h"
#include "base/clock.h"
#include "music/dsp_component.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EMMWaveOutError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

// Which device the output opens. Loopback renders only when RenderLoopback
// is called (tests, offline rendering); its device list is the one loopback
// device.
enum class TWaveOutDevice { System, Loopback };

enum class TMMCallBackMode { cmWindow, cmCallback, cmThread };
enum class TMMTimeFormat { tfByte, tfMilliSecond, tfSample };
enum class TMMThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TMMWaveOut;

// The device work of a wave output; TMMWaveOut adds nothing to it but its
// name, so that the chain sees the same sink whichever it is.
class TMMCustomWaveOutComponent : public TMMCustomSoundComponent {
public:
    using TNotifyEvent = std::function<void(TMMCustomWaveOutComponent& sender)>;
    using TErrorEvent = std::function<void(TMMCustomWaveOutComponent& sender, const std::string& message)>;
    using TBufferEvent = std::function<void(TMMCustomWaveOutComponent& sender, TMMBuffer& buffer)>;
    using TQueuedHook = std::function<void(const uint8_t* data, uint32_t size)>;

    static constexpr uint32_t MinBufferSize = 32;
    static constexpr int MaxNumBuffers = 500;
    static constexpr int DefaultNumBuffers = 10;
    static constexpr int WaveMapper = -1;
    static constexpr int InvalidDeviceID = -2;

    explicit TMMCustomWaveOutComponent(IClock& clock = DefaultClock(),
                                       TWaveOutDevice device = TWaveOutDevice::System);
    // On a back end of the caller's choosing (a test's scripted device).
    TMMCustomWaveOutComponent(IClock& clock, std::unique_ptr<IWaveStreamBackend> backend);
    ~TMMCustomWaveOutComponent() override;

    // ---- properties

    // At least 32; raises while open and empties the buffer pool.
    void SetBufferSize(uint32_t size) override;
    int NumBuffers() const { return m_numBuffers; }
    // 1 or less is ignored, above 500 becomes 500; raises while open.
    void SetNumBuffers(int count);
    // -1 is the default device; anything outside -1 .. NumDevs()-1 is stored
    // as InvalidDeviceID. Raises while open.
    int DeviceID() const { return m_deviceId; }
    void SetDeviceID(int id);
    // Counted once, at creation.
    int NumDevs() const { return static_cast<int>(m_deviceNames.size()); }
    std::string ProductName() const { return m_productName; }

    // Kept for the forms that set them; OpenAL streaming has no mapper, no
    // other notification modes and no thread priority to apply.
    TMMCallBackMode CallBackMode() const { return m_callBackMode; }
    void SetCallBackMode(TMMCallBackMode mode) { m_callBackMode = mode; }
    TMMTimeFormat TimeFormat() const { return m_timeFormat; }
    void SetTimeFormat(TMMTimeFormat format) { m_timeFormat = format; }
    bool Looping() const { return m_looping; }
    void SetLooping(bool looping) { m_looping = looping; }
    int LoopCount() const { return m_loopCount; }
    void SetLoopCount(int count) { m_loopCount = count; }
    bool ShowHourGlass() const { return m_showHourGlass; }
    void SetShowHourGlass(bool show) { m_showHourGlass = show; }
    bool Mapped() const { return m_mapped; }
    void SetMapped(bool mapped) { m_mapped = mapped; }
    TMMThreadPriority Priority() const { return m_priority; }
    void SetPriority(TMMThreadPriority priority) { m_priority = priority; }

    // ---- state

    bool Playing() const { return m_playing; }
    // Buffers handed to the device and not yet back.
    int QueuedBuffers() const;
    // Bytes of the buffers played since the last start or reset.
    uint64_t PlayedBytes() const;
    // Blocks waiting in the pool for the next start.
    size_t PooledBlocks() const { return m_pool.size(); }
    // Blocks allocated since creation (the pool reuses them).
    size_t AllocatedBlocks() const { return m_allocatedBlocks; }

    // ---- operations

    // Closes first, then keeps the new format.
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void Open() override;
    void Close() override;
    void Start() override;
    void Stop() override;
    void Pause() override;
    void Restart() override;
    // Drops the queued buffers and refills them all from the chain's current
    // position (after a seek).
    void ResetBuffers();

    // Loopback only: mixes frames of 16-bit stereo at the stream's rate into
    // out, then hands the buffers that finished to the user-interface thread
    // before returning. Returns false (and writes nothing) without an open
    // loopback device.
    bool RenderLoopback(int16_t* out, int frames);
    static constexpr int LoopbackChannels = 2;

    // ---- events

    void SetOnError(TErrorEvent handler) { m_onError = std::move(handler); }
    void SetOnOpen(TNotifyEvent handler) { m_onOpen = std::move(handler); }
    void SetOnStart(TNotifyEvent handler) { m_onStart = std::move(handler); }
    void SetOnPause(TNotifyEvent handler) { m_onPause = std::move(handler); }
    void SetOnRestart(TNotifyEvent handler) { m_onRestart = std::move(handler); }
    void SetOnStop(TNotifyEvent handler) { m_onStop = std::move(handler); }
    void SetOnClose(TNotifyEvent handler) { m_onClose = std::move(handler); }
    void SetOnLooping(TNotifyEvent handler) { m_onLooping = std::move(handler); }
    void SetOnBufferFilled(TBufferEvent handler) { m_onBufferFilled = std::move(handler); }
    // Sees every buffer's bytes as they are queued on the device, in order.
    void SetOnBufferQueued(TQueuedHook hook) { m_onBufferQueued = std::move(hook); }

private:
    // One buffer of the ring; its index is the stream's name for it.
    struct TSlot {
        std::vector<uint8_t> Block;
        uint32_t Length = 0;
    };

    [[noreturn]] void Fail(const std::string& message);
    [[noreturn]] void Fail(const char* prefix, const std::string& text);
    void FireError(const std::string& message);
    // The message text for a fault of the stream.
    static std::string DeviceText(const EWaveStreamError& e);
    void Fire(const TNotifyEvent& event);
    void UpdateProductName();
    bool CanPlay(const WAVEFORMATEX& format) const;

    void OpenDevice(const WAVEFORMATEX& format);
    void CloseDevice();
    void StartNotifications();
    void StopNotifications();
    void NotificationLoop();
    // Under m_lock: unqueues the played buffers and posts them.
    void SweepLocked();
    // Under m_lock: takes every buffer off the device, none reported.
    void DropQueueLocked();

    std::vector<uint8_t> TakeBlock(uint32_t size);
    void ReturnBlocks();
    // Pulls and queues buffers until the ring is full or the chain is out;
    // returns how many went out.
    size_t FillRing();
    void PrepareSlot(size_t index);
    uint32_t Fill(TSlot& slot);
    void Write(size_t index);
    void PauseDevice();
    void PlayDevice();

    void BufferDone(int index);
    bool DoBufferDone(int index);
    void CloseAfterFault();
    // In a catch block: handles the fault of a device step and raises it again.
    [[noreturn]] void FailStep();
    void DoStop();
    void DoClose();

    IClock& m_clock;
    std::unique_ptr<IWaveStreamBackend> m_backend;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);

    int m_numBuffers = DefaultNumBuffers;
    int m_deviceId = 0;
    std::vector<std::string> m_deviceNames;
    std::string m_productName;
    TMMCallBackMode m_callBackMode = TMMCallBackMode::cmWindow;
    TMMTimeFormat m_timeFormat = TMMTimeFormat::tfByte;
    bool m_looping = false;
    int m_loopCount = 0;
    bool m_showHourGlass = true;
    bool m_mapped = false;
    TMMThreadPriority m_priority = TMMThreadPriority::tpHigher;

    // Set and cleared only while no notification thread runs; the thread
    // reads it under m_lock.
    std::unique_ptr<IWaveStream> m_stream;
    uint32_t m_blockAlign = 1;
    std::vector<TSlot> m_slots;
    std::vector<std::vector<uint8_t>> m_pool;
    size_t m_allocatedBlocks = 0;
    size_t m_buffersInUse = 0;
    size_t m_nextIndex = 0;
    bool m_moreBuffers = false;

    bool m_playing = false;
    bool m_closing = false;
    bool m_stopPending = false;
    bool m_closePending = false;
    bool m_openPending = false;
    bool m_endSignalled = false;
    bool m_destroying = false;
    int m_handlersInProgress = 0;

    // Shared with the notification thread.
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_quit = false;
    bool m_stopping = false;
    bool m_resetting = false;
    int m_queued = 0;
    uint64_t m_playedBytes = 0;
    uint64_t m_generation = 0; // bumped whenever reported buffers go stale

    TErrorEvent m_onError;
    TNotifyEvent m_onOpen, m_onStart, m_onPause, m_onRestart, m_onStop, m_onClose, m_onLooping;
    TBufferEvent m_onBufferFilled;
    TQueuedHook m_onBufferQueued;
};

class TMMWaveOut : public TMMCustomWaveOutComponent {
public:
    using TMMCustomWaveOutComponent::TMMCustomWaveOutComponent;
};
