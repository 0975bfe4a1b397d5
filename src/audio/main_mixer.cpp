#include "audio/main_mixer.h"

#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"

void ApplyMainMixerSettings(TMMDSWaveMixer& mixer)
{
    mixer.SetLevel(TMMDSLevel::prNormal);
    mixer.SetSpeakerConfiguration(TMMDSSpeakerConfig::scQuad);
    mixer.SetBitLength(TMMBits::b16Bit);
    mixer.SetSampleRate(44100);
    mixer.SetMode(TMMMode::mMultiChannel);
    mixer.SetUse3D(true);
    TMMDS3DListener& listener = mixer.Sound3D();
    listener.SetDeferred(false);
    listener.SetDistanceFactor(1);
    listener.SetDopplerFactor(1);
    listener.SetRollOffFactor(1);
    listener.OrientFront().Assign(0, 0, 1);
    listener.OrientTop().Assign(0, 1, 0);
}

void ApplyChannelSettings(TMMDSMixChannel& channel, double coneZ)
{
    TMMDS3DBuffer& sound = channel.Sound3D();
    sound.SetDeferred(false);
    sound.SetMinDistance(1);
    sound.SetMaxDistance(1000000000.0f);
    sound.ConeOrientation().Assign(0, 0, coneZ);
}
