#include "audio/ds_channel.h"

#include "audio/level_connector.h"

TMMDSMixChannel::TMMDSMixChannel(TMMDSWaveMixer* mixer)
{
    m_buffer.SetOnEnd([this](TMMDSPlayEnd reason) { RaisePlayEnd(reason); });
    m_buffer.SetOnRelease([this] { m_sound3D.Detach(); });
    // A new image needs a new buffer; the next Play builds it.
    Wave().SetOnChange([this] {
        if (TMMDSWaveMixer* owner = m_buffer.Mixer())
            owner->RemoveBuffer(&m_buffer);
    });
    SetMixer(mixer);
}

TMMDSMixChannel::~TMMDSMixChannel()
{
    // From here on the channel neither reports nor plays: a handler must
    // not reach an object on its way out.
    m_dying = true;
    // Level connectors probing this channel let go of it first.
    TMMDSChannelConnector::ChannelDestroyed(this);
    // The close stops the other channels of the mixer, whose handlers may
    // raise; nothing can carry that out of a destructor.
    try {
        if (m_mixer)
            m_mixer->CloseDevice();
    } catch (...) {
    }
    // When a close was already running (a handler destroying this channel),
    // the buffer is still listed.
    try {
        if (TMMDSWaveMixer* owner = m_buffer.Mixer())
            owner->RemoveBuffer(&m_buffer);
    } catch (...) {
    }
    if (m_mixer)
        m_mixer->UnregisterChannel(this);
    m_mixer = nullptr;
}

void TMMDSMixChannel::SetMixer(TMMDSWaveMixer* mixer)
{
    if (mixer == m_mixer)
        return;
    if (TMMDSWaveMixer* owner = m_buffer.Mixer())
        owner->RemoveBuffer(&m_buffer);
    if (m_mixer)
        m_mixer->UnregisterChannel(this);
    m_mixer = mixer;
    if (m_mixer)
        m_mixer->RegisterChannel(this);
}

void TMMDSMixChannel::PrepareBuffer()
{
    if (m_dying || !m_mixer || Wave().DataSize() == 0 || m_buffer.PlatformBuffer())
        return;
    m_mixer->OpenDevice();
    m_mixer->AddBuffer(Wave().FileName(), Wave(), m_buffer);
    if (!m_mixer->Use3D())
        return;
    try {
        m_sound3D.Attach(m_buffer.PlatformBuffer());
    } catch (...) {
        // A buffer that cannot be placed would sound from wherever the
        // platform puts it; drop it so the next Play tries again.
        if (TMMDSWaveMixer* owner = m_buffer.Mixer())
            owner->FreeBuffer(&m_buffer);
        throw;
    }
}

void TMMDSMixChannel::Play()
{
    if (m_dying || !m_mixer)
        return;
    PrepareBuffer();
    m_mixer->PlayBuffer(&m_buffer);
}

void TMMDSMixChannel::Stop()
{
    if (m_mixer)
        m_mixer->StopBuffer(&m_buffer);
}

bool TMMDSMixChannel::IsPlaying()
{
    return m_buffer.IsPlaying();
}

void TMMDSMixChannel::RaisePlayEnd(TMMDSPlayEnd reason)
{
    if (m_dying || !m_onPlayEnd)
        return;
    // A copy: the handler may replace itself.
    TPlayEndEvent handler = m_onPlayEnd;
    handler(*this, reason);
}
