// The device lists of OpenAL Soft: one NUL-separated, double-NUL-terminated
// string per list. The full list names every output of every driver; the
// basic one only a device per driver, so it is the fallback.
#include "audio/backends/openal_devices.h"

#include "audio/backends/sound_backend.h"

#include <AL/alc.h>

namespace {

std::vector<std::string> SplitNames(const ALCchar* list)
{
    std::vector<std::string> names;
    while (list && *list) {
        names.emplace_back(list);
        list += names.back().size() + 1;
    }
    return names;
}

bool EnumerateAll()
{
    return alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE;
}

} // namespace

std::vector<std::string> OpenAlOutputDeviceNames()
{
    return SplitNames(alcGetString(nullptr, EnumerateAll() ? ALC_ALL_DEVICES_SPECIFIER : ALC_DEVICE_SPECIFIER));
}

std::string OpenAlDefaultDeviceName()
{
    const ALCchar* name =
        alcGetString(nullptr, EnumerateAll() ? ALC_DEFAULT_ALL_DEVICES_SPECIFIER : ALC_DEFAULT_DEVICE_SPECIFIER);
    return name ? name : "";
}

const TThreadContextProcs& ThreadContextProcs()
{
    static const TThreadContextProcs procs = [] {
        TThreadContextProcs p;
        if (alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context") == ALC_TRUE) {
            p.Set = reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(alcGetProcAddress(nullptr, "alcSetThreadContext"));
            p.Get = reinterpret_cast<PFNALCGETTHREADCONTEXTPROC>(alcGetProcAddress(nullptr, "alcGetThreadContext"));
        }
        if (!p.Set || !p.Get)
            p = {};
        return p;
    }();
    return procs;
}

// Why an open device does not render for headphones; empty when it does
// (asked for) or could (not asked for).
std::string OpenAlHeadphoneReason(ALCdevice* device, bool asked)
{
    if (alcIsExtensionPresent(device, "ALC_SOFT_HRTF") != ALC_TRUE)
        return ISoundBackend::kNoHeadphoneRendering;
    ALCint status = ALC_HRTF_DISABLED_SOFT;
    alcGetIntegerv(device, ALC_HRTF_STATUS_SOFT, 1, &status);
    ALCint sets = 0;
    alcGetIntegerv(device, ALC_NUM_HRTF_SPECIFIERS_SOFT, 1, &sets);
    switch (status) {
    case ALC_HRTF_ENABLED_SOFT:
    case ALC_HRTF_REQUIRED_SOFT:
        return "";
    case ALC_HRTF_DENIED_SOFT:
        return "Headphone rendering is switched off in OpenAL Soft's settings (alsoft.conf).";
    default:
        break;
    }
    if (sets <= 0)
        return "No head-related transfer function data is installed for this output device.";
    if (status == ALC_HRTF_UNSUPPORTED_FORMAT_SOFT)
        return "The output device does not play plain stereo at a rate headphone rendering takes.";
    return asked ? "The output device cannot render for headphones." : "";
}
