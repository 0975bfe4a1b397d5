#pragma once
// The 3D sound device the mixer plays through: a list of output devices,
// static buffers that hold a whole sample, positional sources around one
// listener. OpenAL Soft stands behind it in the program (a real output
// device, or a loopback device that renders into memory on demand); tests
// put a scripted back end behind it where they must force an answer.
//
// Contract: every call is made on the user-interface thread, by the mixer,
// its channels and the 3D parameter holders only. Calls never throw: those
// whose result the mixer examines return a TDSResult (DS_OK or one of the
// codes below, which the mixer raises as EDirectSoundError or answers with
// its fallbacks); setters whose result is not examined return nothing.
// Objects handed out are owned by the caller; a buffer, a 3D interface or
// the listener never outlives the device that made it.
//
// Units are the mixer's: volume in hundredths of a decibel (0 unattenuated,
// -10000 silence, gain 10^(v/2000)), pan -10000 (left) .. 10000 (right),
// frequency in Hz (0 = the wave's own rate), sizes and cursors in bytes of
// the buffer's PCM format, positions in distance units in the listener's
// frame: listener at the origin, +X to its right, +Y up, +Z in front.

#include "audio/wave_format.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TDSResult = uint32_t;

constexpr TDSResult DS_OK = 0;
constexpr TDSResult DSERR_UNSUPPORTED = 0x80004001;
constexpr TDSResult DSERR_GENERIC = 0x80004005;
constexpr TDSResult DSERR_NOAGGREGATION = 0x80040110;
constexpr TDSResult DSERR_OUTOFMEMORY = 0x8007000E;
constexpr TDSResult DSERR_INVALIDPARAM = 0x80070057;
constexpr TDSResult DSERR_ALLOCATED = 0x8878000A;
constexpr TDSResult DSERR_CONTROLUNAVAIL = 0x8878001E;
constexpr TDSResult DSERR_INVALIDCALL = 0x88780032;
constexpr TDSResult DSERR_PRIOLEVELNEEDED = 0x88780046;
constexpr TDSResult DSERR_BADFORMAT = 0x88780064;
constexpr TDSResult DSERR_NODRIVER = 0x88780078;
constexpr TDSResult DSERR_ALREADYINITIALIZED = 0x88780082;
constexpr TDSResult DSERR_BUFFERLOST = 0x88780096;
constexpr TDSResult DSERR_OTHERAPPHASPRIO = 0x887800A0;
constexpr TDSResult DSERR_UNINITIALIZED = 0x887800AA;

// Buffer description flags.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr uint32_t DSBCAPS_STATIC = 0x00000002;
constexpr uint32_t DSBCAPS_CTRL3D = 0x00000010;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x00000040;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr uint32_t DSBCAPS_STICKYFOCUS = 0x00004000;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

// Play status bits.
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x2;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;

// 3D apply flags and modes.
constexpr uint32_t DS3D_IMMEDIATE = 0;
constexpr uint32_t DS3D_DEFERRED = 1;
constexpr uint32_t DS3DMODE_NORMAL = 0;
constexpr uint32_t DS3DMODE_HEADRELATIVE = 1;
constexpr uint32_t DS3DMODE_DISABLE = 2;

struct TVector3 {
    float X = 0, Y = 0, Z = 0;
    bool operator==(const TVector3&) const = default;
};

struct TDS3DBufferParams {
    TVector3 Position;
    TVector3 Velocity;
    uint32_t InsideConeAngle = 360;
    uint32_t OutsideConeAngle = 360;
    TVector3 ConeOrientation{0, 0, 1};
    int32_t ConeOutsideVolume = 0;
    float MinDistance = 1;
    float MaxDistance = 1000000000.0f;
    uint32_t Mode = DS3DMODE_NORMAL;
    bool operator==(const TDS3DBufferParams&) const = default;
};

struct TDS3DListenerParams {
    TVector3 Position;
    TVector3 Velocity;
    TVector3 OrientFront{0, 0, 1};
    TVector3 OrientTop{0, 1, 0};
    float DistanceFactor = 1;
    float RolloffFactor = 1;
    float DopplerFactor = 1;
    bool operator==(const TDS3DListenerParams&) const = default;
};

// The device capability record, field for field; nothing in the system
// reads it beyond copying it.
struct TDSCaps {
    uint32_t Flags = 0;
    uint32_t MinSecondarySampleRate = 0;
    uint32_t MaxSecondarySampleRate = 0;
    uint32_t PrimaryBuffers = 0;
    uint32_t MaxHwMixingAllBuffers = 0;
    uint32_t MaxHwMixingStaticBuffers = 0;
    uint32_t MaxHwMixingStreamingBuffers = 0;
    uint32_t FreeHwMixingAllBuffers = 0;
    uint32_t FreeHwMixingStaticBuffers = 0;
    uint32_t FreeHwMixingStreamingBuffers = 0;
    uint32_t MaxHw3DAllBuffers = 0;
    uint32_t MaxHw3DStaticBuffers = 0;
    uint32_t MaxHw3DStreamingBuffers = 0;
    uint32_t FreeHw3DAllBuffers = 0;
    uint32_t FreeHw3DStaticBuffers = 0;
    uint32_t FreeHw3DStreamingBuffers = 0;
    uint32_t TotalHwMemBytes = 0;
    uint32_t FreeHwMemBytes = 0;
    uint32_t MaxContigFreeHwMemBytes = 0;
    uint32_t UnlockTransferRateHwBuffers = 0;
    uint32_t PlayCpuOverheadSwBuffers = 0;
};

struct TSoundDeviceEntry {
    std::optional<std::array<uint8_t, 16>> Guid; // none for the default device
    std::string Description;
    std::string Module;
};

class ISound3DBuffer {
public:
    virtual ~ISound3DBuffer() = default;
    virtual TDSResult SetAllParameters(const TDS3DBufferParams& params, uint32_t apply) = 0;
    virtual TDSResult GetAllParameters(TDS3DBufferParams& params) = 0;
    virtual TDSResult SetPosition(const TVector3& position, uint32_t apply) = 0;
    virtual TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) = 0;
    virtual TDSResult SetConeOrientation(const TVector3& orientation, uint32_t apply) = 0;
    virtual TDSResult SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply) = 0;
    virtual TDSResult SetConeOutsideVolume(int32_t volume, uint32_t apply) = 0;
    virtual TDSResult SetMinDistance(float distance, uint32_t apply) = 0;
    virtual TDSResult SetMaxDistance(float distance, uint32_t apply) = 0;
    virtual TDSResult SetMode(uint32_t mode, uint32_t apply) = 0;
};

class ISound3DListener {
public:
    virtual ~ISound3DListener() = default;
    virtual TDSResult SetAllParameters(const TDS3DListenerParams& params, uint32_t apply) = 0;
    virtual TDSResult GetAllParameters(TDS3DListenerParams& params) = 0;
    virtual TDSResult SetPosition(const TVector3& position, uint32_t apply) = 0;
    virtual TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) = 0;
    virtual TDSResult SetOrientation(const TVector3& front, const TVector3& top, uint32_t apply) = 0;
    virtual TDSResult SetDistanceFactor(float factor, uint32_t apply) = 0;
    virtual TDSResult SetDopplerFactor(float factor, uint32_t apply) = 0;
    virtual TDSResult SetRolloffFactor(float factor, uint32_t apply) = 0;
    // The level of everything the listener hears, 0 (silence) to 1 (as
    // mixed), at once: a fade of the whole scene.
    virtual TDSResult SetGain(float gain) = 0;
    // Applies every deferred setting at once.
    virtual TDSResult CommitDeferredSettings() = 0;
};

// A secondary buffer: one whole sample, static.
class ISoundBuffer {
public:
    virtual ~ISoundBuffer() = default;
    virtual TDSResult GetCaps(uint32_t& flags, uint32_t& bufferBytes) = 0;
    // The whole buffer as one writable region; the data reaches the sound
    // only at Unlock.
    virtual TDSResult Lock(uint8_t*& region, uint32_t& regionBytes) = 0;
    virtual void Unlock() = 0;
    virtual void Play(bool looping) = 0;
    // Keeps the position; the mixer sets it to 0 afterwards.
    virtual void Stop() = 0;
    virtual void SetCurrentPosition(uint32_t bytes) = 0;
    virtual TDSResult GetCurrentPosition(uint32_t& playBytes) = 0;
    virtual TDSResult GetStatus(uint32_t& status) = 0;
    // Gives a lost buffer's memory back; its content must be written again.
    virtual TDSResult Restore() = 0;
    virtual void SetVolume(int32_t volume) = 0;
    virtual int32_t GetVolume() = 0;
    virtual void SetPan(int32_t pan) = 0;
    virtual int32_t GetPan() = 0;
    virtual void SetFrequency(uint32_t frequency) = 0;
    virtual uint32_t GetFrequency() = 0;
    // Only a buffer made with DSBCAPS_CTRL3D has one.
    virtual TDSResult Query3DBuffer(std::unique_ptr<ISound3DBuffer>& buffer3D) = 0;
};

class IPrimaryBuffer {
public:
    virtual ~IPrimaryBuffer() = default;
    virtual TDSResult SetFormat(const TWaveFormat& format) = 0;
    virtual void Play(bool looping) = 0;
    // Only a primary buffer made with DSBCAPS_CTRL3D has one.
    virtual TDSResult QueryListener(std::unique_ptr<ISound3DListener>& listener) = 0;
};

struct TSoundBufferDesc {
    uint32_t Flags = 0;
    uint32_t BufferBytes = 0;
    TWaveFormat Format; // PCM
};

class ISoundDevice {
public:
    virtual ~ISoundDevice() = default;
    virtual TDSResult SetCooperativeLevel(uint32_t level) = 0;
    virtual TDSResult CreatePrimaryBuffer(uint32_t flags, std::unique_ptr<IPrimaryBuffer>& primary) = 0;
    virtual TDSResult CreateSoundBuffer(const TSoundBufferDesc& desc, std::unique_ptr<ISoundBuffer>& buffer) = 0;
    virtual TDSResult GetCaps(TDSCaps& caps) = 0;
    virtual void SetSpeakerConfig(uint32_t config) = 0;
    virtual uint32_t GetSpeakerConfig() = 0;
};

class ISoundBackend {
public:
    virtual ~ISoundBackend() = default;
    // The default device first, with no id, then every output device.
    virtual std::vector<TSoundDeviceEntry> EnumerateDevices() = 0;
    virtual TDSResult CreateDevice(const TSoundDeviceEntry& entry, std::unique_ptr<ISoundDevice>& device) = 0;
    // Headphone rendering (3D audio through a head-related transfer
    // function) for the devices opened from now on.
    virtual void SetHeadphones(bool on) { (void)on; }
    // Why the last device opened cannot render for headphones; empty when
    // it can (or renders for them now).
    virtual std::string HeadphonesUnavailable() const { return kNoHeadphoneRendering; }
    static constexpr const char* kNoHeadphoneRendering = "This sound system cannot render for headphones.";
};

// What a loopback back end adds: the mix of its open device rendered into
// memory on demand, interleaved 16-bit at the rate and channel count it was
// made with. Rendering is what moves the device's time on.
class ILoopbackRenderer {
public:
    virtual ~ILoopbackRenderer() = default;
    virtual int SampleRate() const = 0;
    virtual int Channels() const = 0;
    // Renders frames into out (frames x Channels samples); silence when no
    // device is open.
    virtual void Render(int16_t* out, int frames) = 0;
};

// OpenAL Soft on the real output devices. With headphones asked for, a
// device that cannot render for them opens as plain stereo all the same,
// and HeadphonesUnavailable says why.
std::unique_ptr<ISoundBackend> CreateOpenAlBackend();
// OpenAL Soft on an ALC_SOFT_loopback device; the same object renders.
// With hrtf, the mix is rendered for headphones through OpenAL Soft's HRTF
// (stereo only); a device for which it cannot be set up fails to open with
// DSERR_UNSUPPORTED.
struct TLoopbackBackend {
    std::unique_ptr<ISoundBackend> Backend;
    ILoopbackRenderer* Renderer = nullptr; // owned by Backend
};
TLoopbackBackend CreateOpenAlLoopbackBackend(int sampleRate = 44100, int channels = 2, bool hrtf = false);
