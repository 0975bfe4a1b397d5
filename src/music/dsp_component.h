#pragma once
// The members of a playback chain: components linked output to input, from a
// source at the top to a sink at the bottom. The sink drives the chain: it
// moves every component through open, start, pause, restart, stop and close,
// and pulls its buffers up the chain, where each component fills or changes
// the same bytes in place (no copies between components).
//
// Contract: everything here runs on the user-interface thread; no component
// takes a lock. Lifecycle steps and buffer loads may throw the exception of
// the component that failed (all derived from EAmbitoneError); it reaches the
// caller of the sink's step or of its buffer pull.

#include "audio/wave_format.h"
#include "base/error.h"

#include <cstdint>
#include <functional>
#include <optional>

class EMMDSPError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

// One buffer travelling through the chain. Data holds Size bytes; a load
// fills the first BytesUsed of them.
struct TMMBuffer {
    uint8_t* Data = nullptr;
    uint32_t Size = 0;      // the length requested: the most a load may fill
    uint32_t BytesUsed = 0; // the length filled
};

// The state of the form that holds a component. While the form is loading or
// being destroyed a new stream format is kept, not handed down the chain.
enum class TMMFormState { Ready, Loading, Destroying };

// The six lifecycle steps that a sink applies to its chain.
enum class TMMChainStep { Open, Close, Start, Stop, Pause, Restart };

class TMMDSPComponent {
public:
    using TBufferLoadEvent = std::function<void(TMMDSPComponent& sender, TMMBuffer& buffer, bool& moreBuffers)>;
    using TBufferReadyEvent = std::function<void(TMMDSPComponent& sender, TMMBuffer& buffer)>;

    static constexpr uint32_t DefaultBufferSize = 2048;

    TMMDSPComponent() = default;
    // Unlinks both sides.
    virtual ~TMMDSPComponent();
    TMMDSPComponent(const TMMDSPComponent&) = delete;
    TMMDSPComponent& operator=(const TMMDSPComponent&) = delete;

    // Links. Writing one side writes the partner's other side too; unlinking
    // (nullptr) clears both sides. Every component whose link changes is
    // stopped first. A link to itself, or one that would close a loop, is
    // refused and leaves the links as they were. After a link is made the
    // downstream side takes the upstream side's stream format.
    TMMDSPComponent* Input() const { return m_input; }
    TMMDSPComponent* Output() const { return m_output; }
    void SetInput(TMMDSPComponent* upstream);
    void SetOutput(TMMDSPComponent* downstream);

    // The stream format: nullptr when there is none. Setting it copies the
    // record with its cbSize extra bytes (nullptr clears it), stopping the
    // component first when it is started, and hands the new copy to Output
    // unless the form is loading or being destroyed. Descendants override it
    // to refuse a format (throwing before calling this base) or to react.
    const WAVEFORMATEX* WaveFormat() const;
    virtual void SetWaveFormat(const WAVEFORMATEX* format);

    TMMFormState FormState() const { return m_formState; }
    void SetFormState(TMMFormState state) { m_formState = state; }

    // The size of the buffers the sink will request.
    uint32_t BufferSize() const { return m_bufferSize; }
    virtual void SetBufferSize(uint32_t size) { m_bufferSize = size; }
    // Set at open: the largest multiple of the format's nBlockAlign not above
    // BufferSize, at least nBlockAlign; BufferSize without a format.
    uint32_t EffectiveBufferSize() const { return m_effectiveBufferSize; }

    bool Opened() const { return m_opened; }
    bool Started() const { return m_started; }
    bool Paused() const { return m_paused; }

    // Lifecycle steps. Base behaviour: open computes the effective buffer
    // size and sets opened; close clears opened (and started and paused, since
    // a closed component plays nothing); start sets started when opened; stop
    // clears started and paused; pause sets paused; restart clears paused.
    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Stop();
    virtual void Pause();
    virtual void Restart();
    // Runs one of the steps above by its tag.
    void ApplyStep(TMMChainStep step);

    // Fill a buffer: fires OnBufferLoad, then asks Input to fill the same
    // buffer. The filled length is buffer.BytesUsed; moreBuffers tells whether
    // buffers follow this one. A source overrides it to fill the bytes; a
    // stage overrides it to change them after the base call.
    virtual void BufferLoad(TMMBuffer& buffer, bool& moreBuffers);
    // Report a played buffer: fires OnBufferReady, then passes it to Output.
    virtual void BufferReady(TMMBuffer& buffer);

    void SetOnBufferLoad(TBufferLoadEvent handler) { m_onBufferLoad = std::move(handler); }
    void SetOnBufferReady(TBufferReadyEvent handler) { m_onBufferReady = std::move(handler); }

    bool IsSoundComponent() const { return m_isSoundComponent; }

protected:
    // For TMMCustomSoundComponent's constructor: the chain walk tells sinks
    // by this flag, which stays valid while a component is being destroyed.
    void MarkAsSoundComponent() { m_isSoundComponent = true; }

private:
    // Makes upstream -> downstream the link (either may be nullptr, not both).
    static void Link(TMMDSPComponent* upstream, TMMDSPComponent* downstream);
    static bool Reaches(const TMMDSPComponent* from, const TMMDSPComponent* to);

    TMMDSPComponent* m_input = nullptr;
    TMMDSPComponent* m_output = nullptr;
    std::optional<TWaveFormat> m_waveFormat;
    TMMFormState m_formState = TMMFormState::Ready;
    uint32_t m_bufferSize = DefaultBufferSize;
    uint32_t m_effectiveBufferSize = DefaultBufferSize;
    bool m_opened = false;
    bool m_started = false;
    bool m_paused = false;
    bool m_isSoundComponent = false;
    TBufferLoadEvent m_onBufferLoad;
    TBufferReadyEvent m_onBufferReady;
};

// A sink that drives the chain above it. Each lifecycle step is applied to
// the chain above first (every non-sink from the top down; at open each first
// takes this sink's BufferSize), then to the sink itself. A device output
// overrides the steps, calling ApplyToChain where its device work needs the
// chain and TMMDSPComponent's step for its own base behaviour.
class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    TMMCustomSoundComponent() { MarkAsSoundComponent(); }

    void Open() override;
    void Close() override;
    void Start() override;
    void Stop() override;
    void Pause() override;
    void Restart() override;

    // Pulls one buffer through the chain: clears BytesUsed and moreBuffers,
    // then runs this sink's buffer load (its OnBufferLoad, then its Input).
    // Returns the bytes filled; a fill of 0 bytes also clears moreBuffers.
    uint32_t PullBuffer(TMMBuffer& buffer, bool& moreBuffers);
    // Reports a buffer the device has played (BufferReady on this sink).
    void ReportBuffer(TMMBuffer& buffer) { BufferReady(buffer); }

protected:
    // Applies a step to the chain above this sink, not to the sink itself.
    // Nothing is done when another sink lies above this one.
    void ApplyToChain(TMMChainStep step);
};

// A file source at the top of a chain.
class TMMCustomFile : public TMMDSPComponent {
public:
    using TNotifyEvent = std::function<void(TMMDSPComponent& sender)>;

    bool Enabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled) { m_enabled = enabled; }

    void SetOnChange(TNotifyEvent handler) { m_onChange = std::move(handler); }
    void SetOnChanged(TNotifyEvent handler) { m_onChanged = std::move(handler); }

protected:
    // A descendant calls these when its file's content changed: OnChange,
    // then OnChanged.
    void DoChange();
    void DoChanged();

private:
    bool m_enabled = true;
    TNotifyEvent m_onChange;
    TNotifyEvent m_onChanged;
};
