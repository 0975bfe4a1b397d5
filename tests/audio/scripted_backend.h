#pragma once
// A sound back end for tests that does what it is told: it records every
// call in order ("buf1.SetVolume(-10000)"), keeps the state a real device
// would (volume, pan, frequency, status bits, cursor, buffer memory, 3D
// parameters in single precision), and answers with a failure code when a
// test asks. A buffer plays until the test ends it (Finish), and is lost
// when the test says so (Lose). Objects outliving the device that made
// them, or an Unlock without a Lock, are noted as violations.

#include "audio/backends/sound_backend.h"
#include "audio/wave.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TScriptedBackend;

class TScripted3DBuffer : public ISound3DBuffer {
public:
    TScripted3DBuffer(TScriptedBackend& backend, std::string name);
    ~TScripted3DBuffer() override;
    TDSResult SetAllParameters(const TDS3DBufferParams& params, uint32_t apply) override;
    TDSResult GetAllParameters(TDS3DBufferParams& params) override;
    TDSResult SetPosition(const TVector3& position, uint32_t apply) override;
    TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) override;
    TDSResult SetConeOrientation(const TVector3& orientation, uint32_t apply) override;
    TDSResult SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply) override;
    TDSResult SetConeOutsideVolume(int32_t volume, uint32_t apply) override;
    TDSResult SetMinDistance(float distance, uint32_t apply) override;
    TDSResult SetMaxDistance(float distance, uint32_t apply) override;
    TDSResult SetMode(uint32_t mode, uint32_t apply) override;

    const std::string& Name() const { return m_name; }
    // What the platform holds now.
    TDS3DBufferParams Params;

private:
    TDSResult Call(const std::string& method, const std::string& args);
    TScriptedBackend& m_backend;
    std::string m_name;
};

class TScriptedListener : public ISound3DListener {
public:
    TScriptedListener(TScriptedBackend& backend, std::string name);
    ~TScriptedListener() override;
    TDSResult SetAllParameters(const TDS3DListenerParams& params, uint32_t apply) override;
    TDSResult GetAllParameters(TDS3DListenerParams& params) override;
    TDSResult SetPosition(const TVector3& position, uint32_t apply) override;
    TDSResult SetVelocity(const TVector3& velocity, uint32_t apply) override;
    TDSResult SetOrientation(const TVector3& front, const TVector3& top, uint32_t apply) override;
    TDSResult SetDistanceFactor(float factor, uint32_t apply) override;
    TDSResult SetDopplerFactor(float factor, uint32_t apply) override;
    TDSResult SetRolloffFactor(float factor, uint32_t apply) override;
    TDSResult SetGain(float gain) override;
    TDSResult CommitDeferredSettings() override;

    TDS3DListenerParams Params;

private:
    TDSResult Call(const std::string& method, const std::string& args);
    TScriptedBackend& m_backend;
    std::string m_name;
};

class TScriptedBuffer : public ISoundBuffer {
public:
    TScriptedBuffer(TScriptedBackend& backend, std::string name, const TSoundBufferDesc& desc);
    ~TScriptedBuffer() override;
    TDSResult GetCaps(uint32_t& flags, uint32_t& bufferBytes) override;
    TDSResult Lock(uint8_t*& region, uint32_t& regionBytes) override;
    void Unlock() override;
    void Play(bool looping) override;
    void Stop() override;
    void SetCurrentPosition(uint32_t bytes) override;
    TDSResult GetCurrentPosition(uint32_t& playBytes) override;
    TDSResult GetStatus(uint32_t& status) override;
    TDSResult Restore() override;
    void SetVolume(int32_t volume) override;
    int32_t GetVolume() override;
    void SetPan(int32_t pan) override;
    int32_t GetPan() override;
    void SetFrequency(uint32_t frequency) override;
    uint32_t GetFrequency() override;
    TDSResult Query3DBuffer(std::unique_ptr<ISound3DBuffer>& buffer3D) override;

    // The play runs out: the playing bit drops, the cursor stays at the end.
    void Finish();
    // The memory is taken away: playing drops, the content is scrambled
    // until the buffer is restored and written again.
    void Lose();

    const std::string& Name() const { return m_name; }
    const TSoundBufferDesc& Desc() const { return m_desc; }
    const std::vector<uint8_t>& Data() const { return m_data; }
    bool Playing = false;
    bool Looping = false;
    bool Lost = false;
    uint32_t Position = 0;
    int32_t Volume = 0;
    int32_t Pan = 0;
    uint32_t Frequency = 0;

private:
    TDSResult Call(const std::string& method, const std::string& args = {});
    TScriptedBackend& m_backend;
    std::string m_name;
    TSoundBufferDesc m_desc;
    std::vector<uint8_t> m_data;
    bool m_locked = false;
};

class TScriptedPrimary : public IPrimaryBuffer {
public:
    TScriptedPrimary(TScriptedBackend& backend, uint32_t flags);
    ~TScriptedPrimary() override;
    TDSResult SetFormat(const TWaveFormat& format) override;
    void Play(bool looping) override;
    TDSResult QueryListener(std::unique_ptr<ISound3DListener>& listener) override;

    uint32_t Flags;
    TWaveFormat Format;
    bool Playing = false;

private:
    TScriptedBackend& m_backend;
};

class TScriptedDevice : public ISoundDevice {
public:
    TScriptedDevice(TScriptedBackend& backend, std::string description);
    ~TScriptedDevice() override;
    TDSResult SetCooperativeLevel(uint32_t level) override;
    TDSResult CreatePrimaryBuffer(uint32_t flags, std::unique_ptr<IPrimaryBuffer>& primary) override;
    TDSResult CreateSoundBuffer(const TSoundBufferDesc& desc, std::unique_ptr<ISoundBuffer>& buffer) override;
    TDSResult GetCaps(TDSCaps& caps) override;
    void SetSpeakerConfig(uint32_t config) override;
    uint32_t GetSpeakerConfig() override;

    const std::string& Description() const { return m_description; }
    uint32_t SpeakerConfig = 4;

private:
    TScriptedBackend& m_backend;
    std::string m_description;
};

class TScriptedBackend : public ISoundBackend {
public:
    // The default entry and one device, "Scripted Output".
    TScriptedBackend();
    explicit TScriptedBackend(std::vector<TSoundDeviceEntry> devices);
    ~TScriptedBackend() override;

    std::vector<TSoundDeviceEntry> EnumerateDevices() override;
    TDSResult CreateDevice(const TSoundDeviceEntry& entry, std::unique_ptr<ISoundDevice>& device) override;
    void SetHeadphones(bool on) override { Headphones = on; }
    std::string HeadphonesUnavailable() const override { return HeadphonesReason; }
    bool Headphones = false;      // as the mixer set it before its last open
    std::string HeadphonesReason; // empty: the devices render for headphones

    // The next `times` calls of `call` answer `code`; times < 0 means every
    // call until Heal. `call` is a method name ("Lock", "CreateDevice") or
    // one object's method ("buf2.Lock").
    void Fail(const std::string& call, TDSResult code, int times = 1);
    void Heal(const std::string& call);

    const std::vector<std::string>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    // The calls that start with `prefix`, in order.
    std::vector<std::string> CallsOf(const std::string& prefix) const;
    size_t Count(const std::string& prefix) const { return CallsOf(prefix).size(); }

    // Objects alive now (nullptr when none).
    TScriptedDevice* Device() const { return m_device; }
    TScriptedPrimary* Primary() const { return m_primary; }
    TScriptedListener* Listener() const { return m_listener; }
    // Live secondary buffers in the order they were made.
    const std::vector<TScriptedBuffer*>& Buffers() const { return m_buffers; }
    TScriptedBuffer* Buffer(const std::string& name) const;
    TScripted3DBuffer* Buffer3D(const std::string& name) const;
    int DevicesCreated() const { return m_devicesCreated; }
    int BuffersCreated() const { return m_buffersCreated; }
    const std::vector<std::string>& Violations() const { return m_violations; }

    // Every new buffer holds this many bytes more than asked for, as a
    // platform that rounds sizes up would.
    uint32_t ExtraBufferBytes = 0;

private:
    friend class TScripted3DBuffer;
    friend class TScriptedListener;
    friend class TScriptedBuffer;
    friend class TScriptedPrimary;
    friend class TScriptedDevice;

    // Logs the call and answers it: DS_OK or the code a test asked for.
    TDSResult Answer(const std::string& object, const std::string& method, const std::string& args);
    void Log(const std::string& entry) { m_calls.push_back(entry); }
    void Violation(const std::string& what) { m_violations.push_back(what); }

    std::vector<TSoundDeviceEntry> m_devices;
    struct TFailure {
        TDSResult Code;
        int Remaining; // < 0: always
    };
    std::map<std::string, TFailure> m_failures;
    std::vector<std::string> m_calls;
    std::vector<std::string> m_violations;
    TScriptedDevice* m_device = nullptr;
    TScriptedPrimary* m_primary = nullptr;
    TScriptedListener* m_listener = nullptr;
    std::vector<TScriptedBuffer*> m_buffers;
    std::vector<TScripted3DBuffer*> m_buffers3D;
    int m_devicesCreated = 0;
    int m_buffersCreated = 0;
};

// Loads a whole RIFF image held in memory into a wave.
void LoadWaveImage(TMMWave& wave, const std::vector<uint8_t>& image);
