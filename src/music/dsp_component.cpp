#include "music/dsp_component.h"

#include <algorithm>
#include <array>

TMMDSPComponent::~TMMDSPComponent()
{
    m_formState = TMMFormState::Destroying;
    TMMDSPComponent* upstream = m_input;
    TMMDSPComponent* downstream = m_output;
    // Detach before stopping the partners, so that a sink's stop walks a
    // chain that no longer holds this half-destroyed component.
    if (upstream)
        upstream->m_output = nullptr;
    if (downstream)
        downstream->m_input = nullptr;
    m_input = nullptr;
    m_output = nullptr;
    // A destructor lets nothing out; a partner that fails to stop is left as
    // it is.
    for (TMMDSPComponent* partner : {upstream, downstream}) {
        if (!partner)
            continue;
        try {
            partner->Stop();
        } catch (...) {
        }
    }
}

void TMMDSPComponent::SetInput(TMMDSPComponent* upstream)
{
    if (upstream)
        Link(upstream, this);
    else if (m_input)
        Link(nullptr, this);
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* downstream)
{
    if (downstream)
        Link(this, downstream);
    else if (m_output)
        Link(this, nullptr);
}

bool TMMDSPComponent::Reaches(const TMMDSPComponent* from, const TMMDSPComponent* to)
{
    // Links never form a loop (Link refuses one), so the walk ends.
    for (const TMMDSPComponent* c = from; c; c = c->m_output)
        if (c == to)
            return true;
    return false;
}

void TMMDSPComponent::Link(TMMDSPComponent* upstream, TMMDSPComponent* downstream)
{
    if (upstream && downstream) {
        if (upstream->m_output == downstream)
            return;
        // A loop would make every walk and every buffer load endless.
        if (Reaches(downstream, upstream))
            return;
    }

    // Everyone whose link changes stops first, before any link is touched.
    std::array<TMMDSPComponent*, 4> touched{upstream, upstream ? upstream->m_output : nullptr, downstream,
                                            downstream ? downstream->m_input : nullptr};
    for (size_t i = 0; i < touched.size(); ++i) {
        TMMDSPComponent* c = touched[i];
        if (c && std::find(touched.begin(), touched.begin() + i, c) == touched.begin() + i)
            c->Stop();
    }

    if (upstream) {
        if (upstream->m_output)
            upstream->m_output->m_input = nullptr;
        upstream->m_output = downstream;
    }
    if (downstream) {
        if (downstream->m_input)
            downstream->m_input->m_output = nullptr;
        downstream->m_input = upstream;
    }
    if (upstream && downstream)
        downstream->SetWaveFormat(upstream->WaveFormat());
}

const WAVEFORMATEX* TMMDSPComponent::WaveFormat() const
{
    return m_waveFormat ? &m_waveFormat->Header() : nullptr;
}

void TMMDSPComponent::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (m_started)
        Stop();
    // Copied before the old copy goes, so that a component may be given its
    // own format back.
    if (format)
        m_waveFormat =
            TWaveFormat::FromBytes(reinterpret_cast<const uint8_t*>(format), sizeof(WAVEFORMATEX) + format->cbSize);
    else
        m_waveFormat.reset();
    if (m_formState == TMMFormState::Ready && m_output)
        m_output->SetWaveFormat(WaveFormat());
}

void TMMDSPComponent::Open()
{
    const WAVEFORMATEX* format = WaveFormat();
    // A format without a block size gives nothing to round to.
    if (format && format->nBlockAlign > 0) {
        uint32_t block = format->nBlockAlign;
        m_effectiveBufferSize = std::max(m_bufferSize / block * block, block);
    } else {
        m_effectiveBufferSize = m_bufferSize;
    }
    m_opened = true;
}

void TMMDSPComponent::Close()
{
    m_opened = false;
    m_started = false;
    m_paused = false;
}

void TMMDSPComponent::Start()
{
    if (m_opened)
        m_started = true;
}

void TMMDSPComponent::Stop()
{
    m_started = false;
    m_paused = false;
}

void TMMDSPComponent::Pause()
{
    m_paused = true;
}

void TMMDSPComponent::Restart()
{
    m_paused = false;
}

void TMMDSPComponent::ApplyStep(TMMChainStep step)
{
    switch (step) {
    case TMMChainStep::Open:
        Open();
        break;
    case TMMChainStep::Close:
        Close();
        break;
    case TMMChainStep::Start:
        Start();
        break;
    case TMMChainStep::Stop:
        Stop();
        break;
    case TMMChainStep::Pause:
        Pause();
        break;
    case TMMChainStep::Restart:
        Restart();
        break;
    }
}

void TMMDSPComponent::BufferLoad(TMMBuffer& buffer, bool& moreBuffers)
{
    if (m_onBufferLoad)
        m_onBufferLoad(*this, buffer, moreBuffers);
    if (m_input)
        m_input->BufferLoad(buffer, moreBuffers);
}

void TMMDSPComponent::BufferReady(TMMBuffer& buffer)
{
    if (m_onBufferReady)
        m_onBufferReady(*this, buffer);
    if (m_output)
        m_output->BufferReady(buffer);
}

void TMMCustomSoundComponent::ApplyToChain(TMMChainStep step)
{
    TMMDSPComponent* first = this;
    while (first->Input()) {
        first = first->Input();
        if (first->IsSoundComponent())
            return;
    }
    for (TMMDSPComponent* c = first; c && c != this; c = c->Output()) {
        if (c->IsSoundComponent())
            continue;
        if (step == TMMChainStep::Open)
            c->SetBufferSize(BufferSize());
        c->ApplyStep(step);
    }
}

void TMMCustomSoundComponent::Open()
{
    ApplyToChain(TMMChainStep::Open);
    TMMDSPComponent::Open();
}

void TMMCustomSoundComponent::Close()
{
    ApplyToChain(TMMChainStep::Close);
    TMMDSPComponent::Close();
}

void TMMCustomSoundComponent::Start()
{
    ApplyToChain(TMMChainStep::Start);
    TMMDSPComponent::Start();
}

void TMMCustomSoundComponent::Stop()
{
    ApplyToChain(TMMChainStep::Stop);
    TMMDSPComponent::Stop();
}

void TMMCustomSoundComponent::Pause()
{
    ApplyToChain(TMMChainStep::Pause);
    TMMDSPComponent::Pause();
}

void TMMCustomSoundComponent::Restart()
{
    ApplyToChain(TMMChainStep::Restart);
    TMMDSPComponent::Restart();
}

uint32_t TMMCustomSoundComponent::PullBuffer(TMMBuffer& buffer, bool& moreBuffers)
{
    buffer.BytesUsed = 0;
    moreBuffers = false;
    BufferLoad(buffer, moreBuffers);
    if (buffer.BytesUsed == 0)
        moreBuffers = false;
    return buffer.BytesUsed;
}

void TMMCustomFile::DoChange()
{
    if (m_onChange)
        m_onChange(*this);
}

void TMMCustomFile::DoChanged()
{
    if (m_onChanged)
        m_onChanged(*this);
}
