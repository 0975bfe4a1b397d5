#pragma once
// The platform's output volume as three objects: a mixer device, one of its
// audio lines (picked by component type) and one control on that line
// (picked by control type). Each looks itself up once when it is made, or
// again on Lookup(); a failed lookup leaves its id at -1 and every object
// below it fails too, which callers show as "nothing to control" rather than
// as an error. The device is never opened for notifications, so values are
// only as fresh as the last read.
//
// Ownership: the device owns its back end; a line points at its device and a
// control at its line, neither owning it. Whoever makes them keeps the device
// alive longer than its lines and a line longer than its controls.

#include "base/error.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

// A platform error while reading or writing a mixer value.
class EMMMCIError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

enum class TMMComponentType {
    ctDstSpeakers,
    ctSrcWaveOut, // the line that carries everything played as waves
    ctSrcLine,
    ctSrcMicrophone,
};

enum class TMMControlType {
    ctVolume,
    ctBass,
    ctTreble,
    ctMute,
};

// Fader controls hold a number between a minimum and a maximum; the others
// (switches) cannot stand behind a slider.
bool IsFaderControl(TMMControlType type);

enum class TMMLineFlag : uint32_t {
    lfActive = 1u << 0,
    lfDisconnected = 1u << 1,
    lfSource = 1u << 2,
};

enum class TMMControlFlag : uint32_t {
    cfDisabled = 1u << 0,
    cfMultiple = 1u << 1, // one value per item (0 .. items - 1)
    cfUniform = 1u << 2,  // all channels move as one
};

// A set of flags of one enumeration.
template <typename TFlag> class TMMFlagSet {
public:
    constexpr TMMFlagSet() = default;
    constexpr TMMFlagSet(std::initializer_list<TFlag> flags)
    {
        for (TFlag flag : flags)
            Include(flag);
    }
    constexpr bool Contains(TFlag flag) const { return (m_bits & static_cast<uint32_t>(flag)) != 0; }
    constexpr void Include(TFlag flag) { m_bits |= static_cast<uint32_t>(flag); }
    constexpr void Exclude(TFlag flag) { m_bits &= ~static_cast<uint32_t>(flag); }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr bool operator==(const TMMFlagSet&) const = default;

private:
    uint32_t m_bits = 0;
};

using TMMLineFlags = TMMFlagSet<TMMLineFlag>;
using TMMControlFlags = TMMFlagSet<TMMControlFlag>;

// Names are cut to these many characters (whole UTF-8 characters).
constexpr size_t kMixerShortNameChars = 16;
constexpr size_t kMixerNameChars = 64;

struct TMMLineInfo {
    int LineId = -1; // -1: not found
    TMMComponentType ComponentType = TMMComponentType::ctSrcWaveOut;
    TMMLineFlags Flags;
    int Channels = 0;
    int Connections = 0;
    int Controls = 0;
    std::string ShortName;
    std::string Name;
};

struct TMMControlInfo {
    int ControlId = -1; // -1: not found
    TMMControlType ControlType = TMMControlType::ctVolume;
    TMMControlFlags Flags;
    int Items = 0; // with cfMultiple only
    std::string ShortName;
    std::string Name;
    int32_t Minimum = 0;
    int32_t Maximum = 0;
    int Steps = 0; // 0: the range is fine enough to be treated as continuous
};

// The platform's mixer. The program uses the ALSA one (backends/alsa_mixer.h);
// tests put a scripted one behind the same objects.
//
// Contract: called on the user-interface thread only, by TMMMixerDevice,
// TMMAudioLine and TMMMixerControl. No call throws. Lookups answer "not
// there" with 0 or std::nullopt. Value calls return 0 on success or the
// platform's error code, which the caller raises as EMMMCIError with
// ErrorText(code) ("MMSystem error: <code>" when that is empty). A channel of
// 0 means all channels as one: a read gives the first channel's value, a
// write sets every channel; channel n >= 1 addresses the n-th channel alone.
// An item of -1 addresses a control without multiple items.
class IMixerBackend {
public:
    virtual ~IMixerBackend() = default;
    virtual int DeviceCount() = 0;
    // Whether the device exists and can be used; opens it if need be.
    virtual bool SelectDevice(int device) = 0;
    virtual std::optional<TMMLineInfo> FindLine(int device, TMMComponentType type) = 0;
    // The first control of the type on the line.
    virtual std::optional<TMMControlInfo> FindControl(int device, int lineId, TMMControlType type) = 0;
    virtual int GetValue(int device, int controlId, int channel, int item, int32_t& value) = 0;
    virtual int SetValue(int device, int controlId, int channel, int item, int32_t value) = 0;
    // The platform's text for a code returned above; empty when it has none.
    virtual std::string ErrorText(int code) = 0;
};

class TMMMixerDevice {
public:
    // A null back end stands for a platform without mixers.
    explicit TMMMixerDevice(std::unique_ptr<IMixerBackend> backend, int deviceId = 0);
    TMMMixerDevice(const TMMMixerDevice&) = delete;
    TMMMixerDevice& operator=(const TMMMixerDevice&) = delete;

    void Lookup();
    // The device asked for, or -1 when it could not be selected.
    int DeviceId() const { return m_deviceId; }
    bool Valid() const { return m_deviceId >= 0; }
    int DeviceCount() const { return m_deviceCount; }
    IMixerBackend* Backend() const { return m_backend.get(); }

private:
    std::unique_ptr<IMixerBackend> m_backend;
    int m_requestedId;
    int m_deviceId = -1;
    int m_deviceCount = 0;
};

class TMMAudioLine {
public:
    explicit TMMAudioLine(TMMMixerDevice* mixer, TMMComponentType type = TMMComponentType::ctSrcWaveOut);
    TMMAudioLine(const TMMAudioLine&) = delete;
    TMMAudioLine& operator=(const TMMAudioLine&) = delete;

    // Both setters look the line up again.
    void SetMixer(TMMMixerDevice* mixer);
    void SetComponentType(TMMComponentType type);
    TMMMixerDevice* Mixer() const { return m_mixer; }
    TMMComponentType ComponentType() const { return m_componentType; }

    void Lookup();
    bool Found() const { return m_info.LineId >= 0; }
    const TMMLineInfo& Info() const { return m_info; }

private:
    TMMMixerDevice* m_mixer;
    TMMComponentType m_componentType;
    TMMLineInfo m_info;
};

class TMMMixerControl {
public:
    explicit TMMMixerControl(TMMAudioLine* line, TMMControlType type = TMMControlType::ctVolume);
    TMMMixerControl(const TMMMixerControl&) = delete;
    TMMMixerControl& operator=(const TMMMixerControl&) = delete;

    // Both setters look the control up again.
    void SetAudioLine(TMMAudioLine* line);
    void SetControlType(TMMControlType type);
    TMMAudioLine* AudioLine() const { return m_line; }
    TMMControlType ControlType() const { return m_controlType; }

    void Lookup();
    bool Found() const { return m_info.ControlId >= 0; }
    const TMMControlInfo& Info() const { return m_info; }

    // Raise EMMMCIError on a platform error, or when the control was not
    // found.
    int32_t GetValue(int channel = 0, int item = -1) const;
    void SetValue(int32_t value, int channel = 0, int item = -1);

private:
    IMixerBackend& BackendOrRaise() const;

    TMMAudioLine* m_line;
    TMMControlType m_controlType;
    TMMControlInfo m_info;
};
