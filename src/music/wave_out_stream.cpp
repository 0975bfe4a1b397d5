// The device side of the wave output: the stream, the notification thread
// that asks it for played buffers, and the ring of buffers refilled from the
// chain as they come back.
//
// The stream reports no completion by itself: the notification thread polls
// it. Because a buffer comes back already off the queue, none of the waits of
// a window-message device are needed here: stop, reset and close take the
// buffers off the device directly, under the lock, and buffers reported
// before that are recognised as stale by a generation.
#include "music/wave_out.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr const char* kNoMemory = "Unable to allocate memory for wave header";
constexpr const char* kFillError = "Error filling wave buffer";
// How often the notification thread looks for played buffers: well inside
// the ~46 ms one 2048-byte buffer lasts at 44100 Hz, 8-bit mono aside.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

} // namespace

// ---- the device

void TMMCustomWaveOutComponent::OpenDevice(const WAVEFORMATEX& format)
{
    const std::string name = m_deviceId >= 0 ? m_deviceNames[static_cast<size_t>(m_deviceId)] : std::string();
    try {
        m_stream = m_backend->Open(name, format, m_numBuffers);
    } catch (const EWaveStreamError& e) {
        Fail("WaveOutOpen:", DeviceText(e));
    }
    m_blockAlign = format.nBlockAlign;
    m_slots.assign(static_cast<size_t>(m_numBuffers), TSlot{});
}

void TMMCustomWaveOutComponent::CloseDevice()
{
    if (!m_stream)
        return;
    m_stream.reset();
    ReturnBlocks();
    m_slots.clear();
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
    // The stream outlives this thread: close joins it before letting go.
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        SweepLocked();
        m_wake.wait_for(lock, kPollInterval);
    }
}

void TMMCustomWaveOutComponent::SweepLocked()
{
    if (!m_stream)
        return;
    std::vector<int> played;
    m_stream->TakePlayed(played);
    for (const int index : played) {
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
        m_clock.Post([this, alive, generation, index] {
            if (alive.expired())
                return;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (generation != m_generation)
                    return;
            }
            BufferDone(index);
        });
    }
}

void TMMCustomWaveOutComponent::DropQueueLocked()
{
    m_stream->Drop();
    m_queued = 0;
    m_resetting = false;
    ++m_generation;
}

void TMMCustomWaveOutComponent::PauseDevice()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_stream->Pause();
}

void TMMCustomWaveOutComponent::PlayDevice()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_stream->Play();
}

bool TMMCustomWaveOutComponent::RenderLoopback(int16_t* out, int frames)
{
    if (!m_stream || !out || frames <= 0)
        return false;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_stream->Render(out, frames))
        return false;
    // Reported here rather than left to the thread, so that a test's next
    // run of the posted work sees every buffer this render finished.
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

size_t TMMCustomWaveOutComponent::FillRing()
{
    m_moreBuffers = true;
    size_t queued = 0;
    for (size_t i = 0; i < m_slots.size() && m_moreBuffers; ++i) {
        PrepareSlot(i);
        if (Fill(m_slots[i]) == 0)
            break;
        Write(i);
        ++queued;
    }
    m_buffersInUse = queued;
    return queued;
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

void TMMCustomWaveOutComponent::Write(size_t index)
{
    TSlot& slot = m_slots[index];
    if (m_onBufferFilled) {
        TMMBuffer buffer{slot.Block.data(), EffectiveBufferSize(), slot.Length};
        m_onBufferFilled(*this, buffer);
    }
    if (m_stopping)
        return;
    // The device takes whole frames only; a torn last frame is completed
    // with silence rather than dropped.
    const uint32_t align = m_blockAlign;
    uint32_t length = slot.Length;
    if (length % align) {
        const uint32_t padded = std::min<uint32_t>((length / align + 1) * align, static_cast<uint32_t>(slot.Block.size()));
        std::fill(slot.Block.begin() + length, slot.Block.begin() + padded, uint8_t{0});
        length = padded - padded % align;
    }
    std::string failure;
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        try {
            const int name = static_cast<int>(index);
            m_stream->Load(name, slot.Block.data(), length);
            // A stream that ran dry has marked everything played; those
            // buffers go back first, or a new play would repeat them.
            const bool stopped = m_stream->Stopped();
            if (stopped)
                SweepLocked();
            m_stream->Enqueue(name);
            ++m_queued;
            if (stopped && m_playing && !Paused())
                m_stream->Play();
        } catch (const EWaveStreamError& e) {
            failed = true;
            failure = DeviceText(e);
        }
    }
    if (failed)
        Fail("WaveOutWrite:", failure);
    if (m_onBufferQueued)
        m_onBufferQueued(slot.Block.data(), length);
}

// ---- played buffers

void TMMCustomWaveOutComponent::BufferDone(int index)
{
    try {
        if (!DoBufferDone(index))
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

bool TMMCustomWaveOutComponent::DoBufferDone(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_playing || m_resetting || m_stopping)
            return false;
    }
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size())
        return false;
    TSlot& slot = m_slots[static_cast<size_t>(index)];
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
            Write(static_cast<size_t>(index));
        }
    }
    return true;
}
