#pragma once
// The system-wide output volume on Linux: the mixer of ALSA's "default"
// device, which on a desktop is the default card (or the sound server
// standing in for it).
//
// There is one mixer device, 0. Its wave-output line (ctSrcWaveOut) is the
// "Master" playback element, or "PCM" on cards without one; no other line
// type is found. The line has one volume control (ctVolume): the element's
// raw playback volume with its minimum and maximum. Steps are max - min when
// that is at most 100, so a coarse hardware range maps one slider step to
// one hardware step; finer ranges report 0 steps and the slider uses its own
// 32. The control is cfDisabled when the element has no playback volume or
// is inactive, cfUniform when its channels cannot be set apart, and never
// has multiple items. Error codes are ALSA's (negative errno values); their
// text is snd_strerror's.
//
// Creating the back end routes ALSA's library messages, for the whole
// process, to a handler that drops them: a machine without a sound card
// must not get stderr noise from a lookup that is allowed to fail.

#include "audio/mixer_control.h"

#include <memory>

std::unique_ptr<IMixerBackend> CreateAlsaMixerBackend();
