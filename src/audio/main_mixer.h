#pragma once
// The settings of the main window's mixer and preview channel, shared by
// the window and by ambitone-tool's renderer so that both sound alike.

class TMMDSWaveMixer;
class TMMDSMixChannel;

// prNormal, scQuad, 16-bit, 44100 Hz, multichannel, 3D; the listener at the
// origin facing +Z with +Y up, immediate updates.
void ApplyMainMixerSettings(TMMDSWaveMixer& mixer);
// A channel as the window's rows and preview make them: distances 1 to
// 1000000000, immediate updates, cone orientation (0, 0, coneZ).
void ApplyChannelSettings(TMMDSMixChannel& channel, double coneZ);
