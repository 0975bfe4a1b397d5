#pragma once
// What the scheduler and the motion tick need of a row's channel. The
// program's rows use TMMDSMixChannel (mix_channel_adapter.h); tests may use
// a channel of their own where they must force an answer.
//
// Contract: user-interface thread only. Play and Stop may raise the mixer's
// errors. The owner of the channel tells the scheduler of every end of play
// (TScheduler::ChannelEndPlay), with whether it ran out or was stopped.

struct TPlaybackPosition {
    long double X = 0, Y = 0, Z = 0;
};

class IPlaybackChannel {
public:
    virtual ~IPlaybackChannel() = default;
    // A playing channel starts again from its first sample.
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() = 0;
    virtual bool Looping() = 0;
    virtual void SetLooping(bool looping) = 0;
    // The position as the platform reports it (single precision values).
    virtual TPlaybackPosition Position() = 0;
    // One component at a time; each write reaches the platform at once when
    // it changes the value.
    virtual void SetPositionX(long double x) = 0;
    virtual void SetPositionY(long double y) = 0;
    virtual void SetPositionZ(long double z) = 0;
};
