#pragma once
// The level meter feed of a scheme row: a TMMDSChannelConnector probes its
// channel's output level (a peak of the wave data at the play cursor, scaled
// by the channel's volume and pan) and hands it to its displays, paced by
// the level clock that all connectors of one IClock share.
//
// Contract: connectors and displays are created, set, triggered and
// destroyed on the user-interface thread. The level clock's period runs on
// the IClock's background thread and touches only the pacing state (count,
// ready flag, suspension, Enabled, Interval) under the level clock's lock;
// the probe, the displays and OnTrigger run in the work it posts to the
// user-interface thread. A trigger that raises propagates to whoever runs
// the posted work and stops that connector's pacing for good.
//
// Neither channels nor displays are owned. A display leaves every connector
// by itself when it is destroyed (TMMLevelDisplay's destructor); a channel
// cannot, since ILevelSource is not ours to extend, so the channel's owner
// (TMMDSMixChannel's destructor) calls TMMDSChannelConnector::ChannelDestroyed.

#include "base/clock.h"
#include "base/error.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class ILevelSource;
class TMMDSChannelConnector;

class EMMLevelConnectorError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

struct TMMLevels {
    int32_t Left = 0;
    int32_t Right = 0;
    int32_t Mean = 0;
    bool operator==(const TMMLevels&) const = default;
};

// The level probe: zeros unless the channel's wave holds PCM data and the
// channel plays unmuted with at least one whole interval left after the
// play cursor. Reads only the interval's bytes, and never past the data.
// With an unattenuated, centred channel the levels run from 0 to 32768.
// Raises what the channel's PlayCursor raises.
TMMLevels GetLevels(ILevelSource& channel, int32_t intervalMs);

// What a connector hands its levels to.
class TMMLevelDisplay {
public:
    // Leaves every connector that shows on it.
    virtual ~TMMLevelDisplay();
    // The scale of the values that follow: bits-bit samples, so 16 means
    // 0 .. 32768.
    virtual void SetBitLength(int bits) = 0;
    virtual void SetValue(int32_t value) = 0;
};

// The pacing of every connector of one IClock: a 25 ms background timer
// that runs while at least one of them exists. One per IClock rather than
// one per process, so that tests and offline rendering with their own
// clocks do not share it with the program.
class TLevelClock : public std::enable_shared_from_this<TLevelClock> {
public:
    static constexpr int Period = 25;

    ~TLevelClock();
    TLevelClock(const TLevelClock&) = delete;
    TLevelClock& operator=(const TLevelClock&) = delete;

    IClock& Clock() const { return m_clock; }
    size_t ConnectorCount() const;

private:
    friend class TMMDSChannelConnector;
    explicit TLevelClock(IClock& clock);
    // The level clock of `clock`, started when it has none.
    static std::shared_ptr<TLevelClock> Acquire(IClock& clock);

    void Register(TMMDSChannelConnector& connector);
    void Unregister(TMMDSChannelConnector& connector);
    void Tick();
    void RunTrigger(uint64_t token);

    IClock& m_clock;
    IClock::TTimerId m_timer = 0;
    mutable std::mutex m_lock;
    // By registration token, which is never reused, so that a trigger posted
    // for a connector since destroyed cannot reach one made in its place.
    std::map<uint64_t, TMMDSChannelConnector*> m_connectors;
};

// The running level clock of `clock`, or none while that clock has no
// connector.
std::shared_ptr<TLevelClock> LevelClock(IClock& clock);

class TMMDSChannelConnector {
public:
    using TTriggerEvent = std::function<void(TMMDSChannelConnector& sender)>;

    // Registers with the level clock of `clock`.
    explicit TMMDSChannelConnector(IClock& clock = DefaultClock());
    // Clears Channel and leaves the level clock; a trigger still waiting is
    // dropped when it comes up.
    ~TMMDSChannelConnector();
    TMMDSChannelConnector(const TMMDSChannelConnector&) = delete;
    TMMDSChannelConnector& operator=(const TMMDSChannelConnector&) = delete;

    ILevelSource* Channel() const { return m_channel; }
    // Under the connectors' lock: a channel going on another thread (a
    // render to a file) looks for itself in every connector.
    void SetChannel(ILevelSource* channel);
    void ClearChannel() { SetChannel(nullptr); }
    // Clears `channel` from every connector; its owner calls it before the
    // channel goes.
    static void ChannelDestroyed(const ILevelSource* channel);

    // A display set as Level1 leaves Level2 and the other way round, as it
    // cannot be both; Meter1 and Meter2 alike. Any change of a display gives
    // every display 16-bit scaling and, without AutoTrigger, triggers once.
    TMMLevelDisplay* Level1() const { return m_level1; }
    void SetLevel1(TMMLevelDisplay* display);
    TMMLevelDisplay* Level2() const { return m_level2; }
    void SetLevel2(TMMLevelDisplay* display);
    TMMLevelDisplay* Meter1() const { return m_meter1; }
    void SetMeter1(TMMLevelDisplay* display);
    TMMLevelDisplay* Meter2() const { return m_meter2; }
    void SetMeter2(TMMLevelDisplay* display);

    // Milliseconds between triggers, in steps of the clock's 25 ms. 0 or
    // less raises EMMLevelConnectorError "Interval should be > 0" and keeps
    // the old value; a new value restarts the count.
    int32_t Interval() const { return m_interval; }
    void SetInterval(int32_t intervalMs);
    // Disabled, the clock posts no trigger. A change gives every display
    // 16-bit scaling and, without AutoTrigger, triggers once.
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // Without it the connector is not paced: it triggers only when told.
    bool AutoTrigger() const { return !m_suspended; }
    void SetAutoTrigger(bool autoTrigger);
    const TTriggerEvent& OnTrigger() const { return m_onTrigger; }
    void SetOnTrigger(TTriggerEvent handler) { m_onTrigger = std::move(handler); }

    // The channel's levels over one Interval; zeros without a channel.
    TMMLevels GetLevels() const;
    // Level1 gets the left level when Level2 is set, else the mean; Level2
    // the right level; Meter1 and Meter2 the same way; then OnTrigger.
    void Trigger();

private:
    friend class TLevelClock;
    friend class TMMLevelDisplay;

    void SetDisplay(TMMLevelDisplay*& slot, TMMLevelDisplay*& partner, TMMLevelDisplay* display);
    void DisplaysChanged();
    void DisplayDestroyed(const TMMLevelDisplay* display);

    ILevelSource* m_channel = nullptr;
    TMMLevelDisplay* m_level1 = nullptr;
    TMMLevelDisplay* m_level2 = nullptr;
    TMMLevelDisplay* m_meter1 = nullptr;
    TMMLevelDisplay* m_meter2 = nullptr;
    TTriggerEvent m_onTrigger;

    std::shared_ptr<TLevelClock> m_levelClock;
    uint64_t m_token = 0;
    // Written on the user-interface thread under the level clock's lock,
    // read by the clock's period under it.
    int32_t m_interval = 25;
    bool m_enabled = true;
    bool m_suspended = false;
    int64_t m_count = 0; // wide, as it may pass an Interval near the limit
    bool m_ready = true; // no trigger of ours is waiting
};
