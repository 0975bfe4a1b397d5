#pragma once
// The output devices OpenAL Soft lists, read the same way by the 3D sound
// device and the queued wave stream, so that both offer the same names in the
// same order. Private to the OpenAL back ends.

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
