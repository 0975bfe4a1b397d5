#pragma once
// The queued wave stream the music's wave output plays through: one PCM
// stream per open device, fed a ring of buffers that the device plays in the
// order they were queued and hands back once played. OpenAL Soft streaming
// stands behind it in the program (a real output device, or a loopback device
// that renders into memory on demand); tests put a scripted back end behind
// it where they must hold the device at a given point.
//
// Contract: the owner (the wave output) lists the devices, opens a stream,
// feeds it and destroys it on the user-interface thread. While a stream is
// open, its owner's notification thread calls TakePlayed on it as well; calls
// on one stream never overlap, because the owner makes every one of them
// under its own lock, so a stream needs no lock of its own. Open raises
// EWaveStreamError when the device or the format cannot be had, Load and
// Enqueue when the device refuses the data; nothing else raises. A stream
// owns its device until it is destroyed and may outlive the back end that
// made it. A stream touches nothing process-wide: whatever context the 3D
// sound device has made current stays current, before, during and after
// every call, failed ones included.
//
// Buffers are named by their index in the ring, 0 .. buffers-1; bytes are
// the stream format's, whole frames only.

#include "audio/wave_format.h"
#include "base/error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class EWaveStreamError : public EAmbitoneError {
public:
    // Format: the device cannot play the stream's format; its text is the
    // owner's to give. Device: anything else, with the device's own text.
    enum class TKind { Device, Format };
    EWaveStreamError(TKind kind, const std::string& text) : EAmbitoneError(text), m_kind(kind) {}
    TKind Kind() const { return m_kind; }

private:
    TKind m_kind;
};

class IWaveStream {
public:
    virtual ~IWaveStream() = default;
    // Puts bytes into a buffer that is not queued.
    virtual void Load(int buffer, const uint8_t* data, uint32_t bytes) = 0;
    // Queues a loaded buffer behind the others. A stream that is playing
    // goes on with it. On a stream that ran dry everything queued counts as
    // played until Play: take the played buffers first, then queue, then
    // Play, in one go.
    virtual void Enqueue(int buffer) = 0;
    // Takes the buffers played since the last call off the queue, oldest
    // first, into played (which is cleared first).
    virtual void TakePlayed(std::vector<int>& played) = 0;
    // True once the device ran out of queued buffers while playing. The
    // buffers it finished stay until taken.
    virtual bool Stopped() = 0;
    virtual void Play() = 0;
    // Holds the queue where it is; Play goes on from there.
    virtual void Pause() = 0;
    // Stops and takes every buffer off the queue, none of them reported;
    // the stream is then as newly opened.
    virtual void Drop() = 0;
    // Loopback only: mixes frames of interleaved 16-bit stereo at the
    // stream's rate into out, which is what moves the device on. Returns
    // false, writing nothing, on any other device.
    virtual bool Render(int16_t* out, int frames) = 0;
};

class IWaveStreamBackend {
public:
    virtual ~IWaveStreamBackend() = default;
    // The output devices, in the platform's order.
    virtual std::vector<std::string> DeviceNames() = 0;
    // The device that Open with no index opens; empty when none is named.
    virtual std::string DefaultDeviceName() = 0;
    // device: one of DeviceNames(), or empty for the default device. The
    // stream starts stopped, with an empty queue and `buffers` buffers.
    virtual std::unique_ptr<IWaveStream> Open(const std::string& device, const WAVEFORMATEX& format, int buffers) = 0;
};

// OpenAL Soft on the real output devices.
std::unique_ptr<IWaveStreamBackend> CreateOpenAlWaveStreamBackend();

// OpenAL Soft on an ALC_SOFT_loopback device per stream, rendered by
// IWaveStream::Render only, level-true (no limiter, no HRTF). Its device list
// is the one loopback device, empty where the library has no loopback.
struct TLoopbackWaveStreamOptions {
    // For tests of the failure paths: every open fails as a device out of
    // memory would, once the stream's context and source exist.
    bool FailOpenAfterSource = false;
};
std::unique_ptr<IWaveStreamBackend> CreateOpenAlLoopbackWaveStreamBackend(TLoopbackWaveStreamOptions options = {});
