#include "audio/backends/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr const char* kMixerDevice = "default";
// Looked for in this order for the wave-output line.
constexpr const char* kOutputElements[] = {"Master", "PCM"};
constexpr long kMaxFineSteps = 100;

void SilentErrorHandler(const char*, int, const char*, int, const char*, ...) {}

int32_t ToInt32(long value)
{
    return static_cast<int32_t>(
        std::clamp<long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The element's playback channels in ALSA's order; a mono element has one.
std::vector<snd_mixer_selem_channel_id_t> PlaybackChannels(snd_mixer_elem_t* element)
{
    if (snd_mixer_selem_is_playback_mono(element))
        return {SND_MIXER_SCHN_MONO};
    std::vector<snd_mixer_selem_channel_id_t> channels;
    for (int c = SND_MIXER_SCHN_FRONT_LEFT; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (snd_mixer_selem_has_playback_channel(element, channel))
            channels.push_back(channel);
    }
    return channels;
}

class TAlsaMixerBackend final : public IMixerBackend {
public:
    TAlsaMixerBackend() = default;
    ~TAlsaMixerBackend() override
    {
        if (m_mixer)
            snd_mixer_close(m_mixer);
    }
    TAlsaMixerBackend(const TAlsaMixerBackend&) = delete;
    TAlsaMixerBackend& operator=(const TAlsaMixerBackend&) = delete;

    int DeviceCount() override
    {
        Open();
        return m_mixer ? 1 : 0;
    }

    bool SelectDevice(int device) override { return device == 0 && DeviceCount() == 1; }

    std::optional<TMMLineInfo> FindLine(int device, TMMComponentType type) override
    {
        if (device != 0 || !m_mixer || type != TMMComponentType::ctSrcWaveOut)
            return std::nullopt;
        for (const char* name : kOutputElements) {
            snd_mixer_elem_t* element = FindElement(name);
            if (!element ||
                !(snd_mixer_selem_has_playback_volume(element) || snd_mixer_selem_has_playback_switch(element)))
                continue;
            TMMLineInfo info;
            info.LineId = ElementId(name);
            info.ComponentType = type;
            info.Flags.Include(TMMLineFlag::lfSource);
            if (snd_mixer_selem_is_active(element))
                info.Flags.Include(TMMLineFlag::lfActive);
            info.Channels = static_cast<int>(PlaybackChannels(element).size());
            info.Controls = (snd_mixer_selem_has_playback_volume(element) ? 1 : 0) +
                            (snd_mixer_selem_has_playback_switch(element) ? 1 : 0);
            info.ShortName = name;
            info.Name = name;
            return info;
        }
        return std::nullopt;
    }

    std::optional<TMMControlInfo> FindControl(int device, int lineId, TMMControlType type) override
    {
        if (device != 0 || type != TMMControlType::ctVolume)
            return std::nullopt;
        snd_mixer_elem_t* element = Element(lineId);
        if (!element)
            return std::nullopt;
        TMMControlInfo info;
        info.ControlId = lineId; // one volume per element
        info.ControlType = type;
        long minimum = 0;
        long maximum = 0;
        const bool hasVolume = snd_mixer_selem_has_playback_volume(element) &&
                               snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum) == 0;
        if (!hasVolume || !snd_mixer_selem_is_active(element))
            info.Flags.Include(TMMControlFlag::cfDisabled);
        if (snd_mixer_selem_is_playback_mono(element) || snd_mixer_selem_has_playback_volume_joined(element))
            info.Flags.Include(TMMControlFlag::cfUniform);
        info.Minimum = ToInt32(minimum);
        info.Maximum = ToInt32(maximum);
        const long range = static_cast<long>(info.Maximum) - info.Minimum;
        info.Steps = range > 0 && range <= kMaxFineSteps ? static_cast<int>(range) : 0;
        info.ShortName = m_elements[static_cast<size_t>(lineId)];
        info.Name = m_elements[static_cast<size_t>(lineId)] + " Playback Volume";
        return info;
    }

    int GetValue(int device, int controlId, int channel, int item, int32_t& value) override
    {
        if (device != 0 || !m_mixer)
            return -ENODEV;
        // Pick up changes made elsewhere since the last read; without this
        // ALSA answers from what it loaded when the mixer was opened.
        if (const int rc = snd_mixer_handle_events(m_mixer); rc < 0)
            return rc;
        snd_mixer_selem_channel_id_t alsaChannel{};
        snd_mixer_elem_t* element = nullptr;
        if (const int rc = Address(controlId, channel, item, element, alsaChannel))
            return rc;
        long raw = 0;
        if (const int rc = snd_mixer_selem_get_playback_volume(element, alsaChannel, &raw); rc < 0)
            return rc;
        value = ToInt32(raw);
        return 0;
    }

    int SetValue(int device, int controlId, int channel, int item, int32_t value) override
    {
        if (device != 0 || !m_mixer)
            return -ENODEV;
        snd_mixer_selem_channel_id_t alsaChannel{};
        snd_mixer_elem_t* element = nullptr;
        if (const int rc = Address(controlId, channel, item, element, alsaChannel))
            return rc;
        const int rc = channel == 0 ? snd_mixer_selem_set_playback_volume_all(element, value)
                                    : snd_mixer_selem_set_playback_volume(element, alsaChannel, value);
        return rc < 0 ? rc : 0;
    }

    std::string ErrorText(int code) override
    {
        const char* text = snd_strerror(code);
        if (!text)
            return {};
        std::string result = text;
        // ALSA's and the C library's wording for a code they do not know.
        if (result.rfind("Unknown error", 0) == 0)
            return {};
        return result;
    }

private:
    // Opens on first use, and again after a failure: a card may have come
    // since.
    void Open()
    {
        if (m_mixer)
            return;
        snd_mixer_t* mixer = nullptr;
        if (snd_mixer_open(&mixer, 0) < 0)
            return;
        if (snd_mixer_attach(mixer, kMixerDevice) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
            snd_mixer_load(mixer) < 0) {
            snd_mixer_close(mixer);
            return;
        }
        m_mixer = mixer;
    }

    // Elements are found by name each time rather than kept as pointers:
    // ALSA frees an element that goes away (a card unplugged) while
    // handling events.
    snd_mixer_elem_t* FindElement(const std::string& name) const
    {
        if (!m_mixer)
            return nullptr;
        snd_mixer_selem_id_t* id = nullptr;
        if (snd_mixer_selem_id_malloc(&id) < 0)
            return nullptr;
        snd_mixer_selem_id_set_name(id, name.c_str());
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_elem_t* element = snd_mixer_find_selem(m_mixer, id);
        snd_mixer_selem_id_free(id);
        return element;
    }

    snd_mixer_elem_t* Element(int id) const
    {
        if (id < 0 || static_cast<size_t>(id) >= m_elements.size())
            return nullptr;
        return FindElement(m_elements[static_cast<size_t>(id)]);
    }

    int ElementId(const std::string& name)
    {
        const auto it = std::find(m_elements.begin(), m_elements.end(), name);
        if (it != m_elements.end())
            return static_cast<int>(it - m_elements.begin());
        m_elements.push_back(name);
        return static_cast<int>(m_elements.size() - 1);
    }

    // Resolves a value's address to the element and, for a single channel,
    // its ALSA channel; 0 or an error code.
    int Address(int controlId, int channel, int item, snd_mixer_elem_t*& element,
                snd_mixer_selem_channel_id_t& alsaChannel) const
    {
        element = Element(controlId);
        if (!element)
            return -ENODEV;
        if (item != -1 || channel < 0 || !snd_mixer_selem_has_playback_volume(element))
            return -EINVAL;
        const std::vector<snd_mixer_selem_channel_id_t> channels = PlaybackChannels(element);
        // Channel 0 reads the first channel (front left, or mono).
        const size_t index = channel == 0 ? 0 : static_cast<size_t>(channel - 1);
        if (index >= channels.size())
            return -EINVAL;
        alsaChannel = channels[index];
        return 0;
    }

    snd_mixer_t* m_mixer = nullptr;
    // Line and control ids index this list of element names.
    std::vector<std::string> m_elements;
};

} // namespace

std::unique_ptr<IMixerBackend> CreateAlsaMixerBackend()
{
    snd_lib_error_set_handler(SilentErrorHandler);
    return std::make_unique<TAlsaMixerBackend>();
}
