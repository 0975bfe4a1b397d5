#include "audio/sound_services.h"

#include "audio/backends/alsa_mixer.h"
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "audio/mixer_control.h"

TSoundServices::TSoundServices(IClock& clock) : m_clock(clock) {}

TSoundServices::~TSoundServices()
{
    m_volumeControl.reset();
    m_audioLine.reset();
    m_mixerDevice.reset();
    m_repairChannel.reset();
    m_sampleChannel.reset();
    m_waveMixer.reset();
    m_soundBackend.reset();
}

void TSoundServices::CreateSound(const TSoundBackendFactory& factory)
{
    m_soundBackend = factory ? factory() : CreateOpenAlBackend();
    m_waveMixer = std::make_unique<TMMDSWaveMixer>(*m_soundBackend, m_clock);
    ApplyMainMixerSettings(*m_waveMixer);
    m_sampleChannel = std::make_unique<TMMDSMixChannel>(m_waveMixer.get());
    // The preview faces the listener from the other side than the rows do.
    ApplyChannelSettings(*m_sampleChannel, -1);
    m_repairChannel = std::make_unique<TMMDSMixChannel>(m_waveMixer.get());
    ApplyChannelSettings(*m_repairChannel, 1);
}

void TSoundServices::BindOutputVolume(const TMixerBackendFactory& factory)
{
    m_mixerDevice = std::make_unique<TMMMixerDevice>(factory ? factory() : CreateAlsaMixerBackend());
    m_audioLine = std::make_unique<TMMAudioLine>(m_mixerDevice.get(), TMMComponentType::ctSrcWaveOut);
    m_volumeControl = std::make_unique<TMMMixerControl>(m_audioLine.get(), TMMControlType::ctVolume);
}
