#include "playback/mix_channel_adapter.h"

#include "audio/ds_channel.h"

void TMixChannelAdapter::Play()
{
    m_channel.Play();
}

void TMixChannelAdapter::Stop()
{
    m_channel.Stop();
}

bool TMixChannelAdapter::IsPlaying()
{
    return m_channel.IsPlaying();
}

bool TMixChannelAdapter::Looping()
{
    return m_channel.Looping();
}

void TMixChannelAdapter::SetLooping(bool looping)
{
    m_channel.SetLooping(looping);
}

TPlaybackPosition TMixChannelAdapter::Position()
{
    // Position() refreshes from the platform when attached; ToPlatform
    // rounds a value not yet sent the way the platform will store it, so
    // the motion steps accumulate at single precision either way.
    const TVector3 platform = m_channel.Sound3D().Position().ToPlatform();
    return {platform.X, platform.Y, platform.Z};
}

void TMixChannelAdapter::SetPositionX(long double x)
{
    m_channel.Sound3D().Position().SetX(x);
}

void TMixChannelAdapter::SetPositionY(long double y)
{
    m_channel.Sound3D().Position().SetY(y);
}

void TMixChannelAdapter::SetPositionZ(long double z)
{
    m_channel.Sound3D().Position().SetZ(z);
}
