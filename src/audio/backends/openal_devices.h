#pragma once
// The output devices OpenAL Soft lists, read the same way by the 3D sound
// device and the queued wave stream, so that both offer the same names in the
// same order. Private to the OpenAL back ends.

#include <AL/alc.h>
#include <AL/alext.h>

#include <string>
#include <vector>

// The name both OpenAL back ends give their loopback device.
inline constexpr const char* kOpenAlLoopbackName = "OpenAL Soft loopback";

// Every output device, by the full list where the library has one
// (ALC_ENUMERATE_ALL_EXT), else by its basic one.
std::vector<std::string> OpenAlOutputDeviceNames();
// The device a null name opens, from the same list; empty when the library
// names none.
std::string OpenAlDefaultDeviceName();

// Why an open device does not render for headphones (HRTF); empty when it
// does (asked for) or could (not asked for).
std::string OpenAlHeadphoneReason(ALCdevice* device, bool asked);

// ALC_EXT_thread_local_context: each thread keeps its own current context,
// so that a render on a worker never redirects the window's own calls. Both
// are null when the library lacks it.
struct TThreadContextProcs {
    PFNALCSETTHREADCONTEXTPROC Set = nullptr;
    PFNALCGETTHREADCONTEXTPROC Get = nullptr;
};
const TThreadContextProcs& ThreadContextProcs();
