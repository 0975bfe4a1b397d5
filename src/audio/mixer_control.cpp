#include "audio/mixer_control.h"

#include <string>
#include <utility>

namespace {

// Cuts to at most `chars` characters without splitting a UTF-8 sequence.
std::string CutName(const std::string& name, size_t chars)
{
    size_t count = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte of the character already counted
        if (count == chars)
            return name.substr(0, i);
        ++count;
    }
    return name;
}

[[noreturn]] void RaiseMixerError(IMixerBackend& backend, int code)
{
    std::string text = backend.ErrorText(code);
    if (text.empty())
        text = "MMSystem error: " + std::to_string(code);
    throw EMMMCIError(text);
}

} // namespace

bool IsFaderControl(TMMControlType type)
{
    switch (type) {
    case TMMControlType::ctVolume:
    case TMMControlType::ctBass:
    case TMMControlType::ctTreble:
        return true;
    case TMMControlType::ctMute:
        return false;
    }
    return false;
}

TMMMixerDevice::TMMMixerDevice(std::unique_ptr<IMixerBackend> backend, int deviceId)
    : m_backend(std::move(backend)), m_requestedId(deviceId)
{
    Lookup();
}

void TMMMixerDevice::Lookup()
{
    m_deviceId = -1;
    m_deviceCount = m_backend ? m_backend->DeviceCount() : 0;
    if (m_requestedId >= 0 && m_requestedId < m_deviceCount && m_backend->SelectDevice(m_requestedId))
        m_deviceId = m_requestedId;
}

TMMAudioLine::TMMAudioLine(TMMMixerDevice* mixer, TMMComponentType type) : m_mixer(mixer), m_componentType(type)
{
    Lookup();
}

void TMMAudioLine::SetMixer(TMMMixerDevice* mixer)
{
    m_mixer = mixer;
    Lookup();
}

void TMMAudioLine::SetComponentType(TMMComponentType type)
{
    m_componentType = type;
    Lookup();
}

void TMMAudioLine::Lookup()
{
    m_info = TMMLineInfo{};
    m_info.ComponentType = m_componentType;
    if (!m_mixer || !m_mixer->Valid())
        return;
    std::optional<TMMLineInfo> found = m_mixer->Backend()->FindLine(m_mixer->DeviceId(), m_componentType);
    if (!found || found->LineId < 0)
        return;
    m_info = std::move(*found);
    m_info.ShortName = CutName(m_info.ShortName, kMixerShortNameChars);
    m_info.Name = CutName(m_info.Name, kMixerNameChars);
}

TMMMixerControl::TMMMixerControl(TMMAudioLine* line, TMMControlType type) : m_line(line), m_controlType(type)
{
    Lookup();
}

void TMMMixerControl::SetAudioLine(TMMAudioLine* line)
{
    m_line = line;
    Lookup();
}

void TMMMixerControl::SetControlType(TMMControlType type)
{
    m_controlType = type;
    Lookup();
}

void TMMMixerControl::Lookup()
{
    m_info = TMMControlInfo{};
    m_info.ControlType = m_controlType;
    if (!m_line || !m_line->Found())
        return;
    const TMMMixerDevice* mixer = m_line->Mixer();
    std::optional<TMMControlInfo> found =
        mixer->Backend()->FindControl(mixer->DeviceId(), m_line->Info().LineId, m_controlType);
    if (!found || found->ControlId < 0)
        return;
    m_info = std::move(*found);
    m_info.ShortName = CutName(m_info.ShortName, kMixerShortNameChars);
    m_info.Name = CutName(m_info.Name, kMixerNameChars);
}

IMixerBackend& TMMMixerControl::BackendOrRaise() const
{
    // The line may have been looked up again, and lost, since this control
    // was; a line that is found has a device with a back end.
    if (!Found() || !m_line->Found())
        throw EMMMCIError("The mixer control was not found");
    return *m_line->Mixer()->Backend();
}

int32_t TMMMixerControl::GetValue(int channel, int item) const
{
    IMixerBackend& backend = BackendOrRaise();
    int32_t value = 0;
    if (const int code = backend.GetValue(m_line->Mixer()->DeviceId(), m_info.ControlId, channel, item, value))
        RaiseMixerError(backend, code);
    return value;
}

void TMMMixerControl::SetValue(int32_t value, int channel, int item)
{
    IMixerBackend& backend = BackendOrRaise();
    if (const int code = backend.SetValue(m_line->Mixer()->DeviceId(), m_info.ControlId, channel, item, value))
        RaiseMixerError(backend, code);
}
