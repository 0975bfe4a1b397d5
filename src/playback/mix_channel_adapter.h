#pragma once
// A row's TMMDSMixChannel seen as the scheduler's IPlaybackChannel. The
// channel stays its owner's; the adapter only forwards.
//
// Contract: user-interface thread only, like the channel; the mixer's
// errors pass through unchanged.

#include "playback/playback_channel.h"

class TMMDSMixChannel;

class TMixChannelAdapter : public IPlaybackChannel {
public:
    explicit TMixChannelAdapter(TMMDSMixChannel& channel) : m_channel(channel) {}

    void Play() override;
    void Stop() override;
    bool IsPlaying() override;
    bool Looping() override;
    void SetLooping(bool looping) override;
    // Read back from the platform while the channel has its buffer; before
    // that, the stored position as the platform will hold it (each
    // component at single precision).
    TPlaybackPosition Position() override;
    void SetPositionX(long double x) override;
    void SetPositionY(long double y) override;
    void SetPositionZ(long double z) override;

    TMMDSMixChannel& Channel() { return m_channel; }

private:
    TMMDSMixChannel& m_channel;
};
