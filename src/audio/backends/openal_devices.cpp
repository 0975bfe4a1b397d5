// The device lists of OpenAL Soft: one NUL-separated, double-NUL-terminated
// string per list. The full list names every output of every driver; the
// basic one only a device per driver, so it is the fallback.
#include "audio/backends/openal_devices.h"

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
