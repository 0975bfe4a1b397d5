#include "scripted_backend.h"

#include <algorithm>
#include <sstream>

namespace {

std::string Hex(uint32_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

std::string Apply(uint32_t apply)
{
    return apply == DS3D_DEFERRED ? "def" : "imm";
}

std::string Vec(const TVector3& v)
{
    std::ostringstream out;
    out << v.X << ',' << v.Y << ',' << v.Z;
    return out.str();
}

std::string Num(float value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

template <typename T>
void Erase(std::vector<T*>& list, T* item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

// ---- 3D buffer ------------------------------------------------------------

TScripted3DBuffer::TScripted3DBuffer(TScriptedBackend& backend, std::string name)
    : m_backend(backend), m_name(std::move(name))
{
    m_backend.m_buffers3D.push_back(this);
}

TScripted3DBuffer::~TScripted3DBuffer()
{
    const std::string owner = m_name.substr(0, m_name.size() - 3);
    if (!m_backend.Buffer(owner))
        m_backend.Violation(m_name + " outlived its buffer");
    Erase(m_backend.m_buffers3D, this);
}

TDSResult TScripted3DBuffer::Call(const std::string& method, const std::string& args)
{
    return m_backend.Answer(m_name, method, args);
}

TDSResult TScripted3DBuffer::SetAllParameters(const TDS3DBufferParams& params, uint32_t apply)
{
    TDSResult result = Call("SetAllParameters", Vec(params.Position) + "," + Apply(apply));
    if (result == DS_OK)
        Params = params;
    return result;
}

TDSResult TScripted3DBuffer::GetAllParameters(TDS3DBufferParams& params)
{
    TDSResult result = Call("GetAllParameters", "");
    if (result == DS_OK)
        params = Params;
    return result;
}

TDSResult TScripted3DBuffer::SetPosition(const TVector3& position, uint32_t apply)
{
    TDSResult result = Call("SetPosition", Vec(position) + "," + Apply(apply));
    if (result == DS_OK)
        Params.Position = position;
    return result;
}

TDSResult TScripted3DBuffer::SetVelocity(const TVector3& velocity, uint32_t apply)
{
    TDSResult result = Call("SetVelocity", Vec(velocity) + "," + Apply(apply));
    if (result == DS_OK)
        Params.Velocity = velocity;
    return result;
}

TDSResult TScripted3DBuffer::SetConeOrientation(const TVector3& orientation, uint32_t apply)
{
    TDSResult result = Call("SetConeOrientation", Vec(orientation) + "," + Apply(apply));
    if (result == DS_OK)
        Params.ConeOrientation = orientation;
    return result;
}

TDSResult TScripted3DBuffer::SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply)
{
    TDSResult result = Call("SetConeAngles", std::to_string(inside) + "," + std::to_string(outside) + "," + Apply(apply));
    if (result == DS_OK) {
        Params.InsideConeAngle = inside;
        Params.OutsideConeAngle = outside;
    }
    return result;
}

TDSResult TScripted3DBuffer::SetConeOutsideVolume(int32_t volume, uint32_t apply)
{
    TDSResult result = Call("SetConeOutsideVolume", std::to_string(volume) + "," + Apply(apply));
    if (result == DS_OK)
        Params.ConeOutsideVolume = volume;
    return result;
}

TDSResult TScripted3DBuffer::SetMinDistance(float distance, uint32_t apply)
{
    TDSResult result = Call("SetMinDistance", Num(distance) + "," + Apply(apply));
    if (result == DS_OK)
        Params.MinDistance = distance;
    return result;
}

TDSResult TScripted3DBuffer::SetMaxDistance(float distance, uint32_t apply)
{
    TDSResult result = Call("SetMaxDistance", Num(distance) + "," + Apply(apply));
    if (result == DS_OK)
        Params.MaxDistance = distance;
    return result;
}

TDSResult TScripted3DBuffer::SetMode(uint32_t mode, uint32_t apply)
{
    TDSResult result = Call("SetMode", std::to_string(mode) + "," + Apply(apply));
    if (result == DS_OK)
        Params.Mode = mode;
    return result;
}

// ---- Listener -------------------------------------------------------------

TScriptedListener::TScriptedListener(TScriptedBackend& backend, std::string name)
    : m_backend(backend), m_name(std::move(name))
{
    m_backend.m_listener = this;
}

TScriptedListener::~TScriptedListener()
{
    if (!m_backend.m_primary)
        m_backend.Violation(m_name + " outlived the primary buffer");
    m_backend.m_listener = nullptr;
}

TDSResult TScriptedListener::Call(const std::string& method, const std::string& args)
{
    return m_backend.Answer(m_name, method, args);
}

TDSResult TScriptedListener::SetAllParameters(const TDS3DListenerParams& params, uint32_t apply)
{
    TDSResult result = Call("SetAllParameters", Vec(params.OrientFront) + "," + Apply(apply));
    if (result == DS_OK)
        Params = params;
    return result;
}

TDSResult TScriptedListener::GetAllParameters(TDS3DListenerParams& params)
{
    TDSResult result = Call("GetAllParameters", "");
    if (result == DS_OK)
        params = Params;
    return result;
}

TDSResult TScriptedListener::SetPosition(const TVector3& position, uint32_t apply)
{
    TDSResult result = Call("SetPosition", Vec(position) + "," + Apply(apply));
    if (result == DS_OK)
        Params.Position = position;
    return result;
}

TDSResult TScriptedListener::SetVelocity(const TVector3& velocity, uint32_t apply)
{
    TDSResult result = Call("SetVelocity", Vec(velocity) + "," + Apply(apply));
    if (result == DS_OK)
        Params.Velocity = velocity;
    return result;
}

TDSResult TScriptedListener::SetOrientation(const TVector3& front, const TVector3& top, uint32_t apply)
{
    TDSResult result = Call("SetOrientation", Vec(front) + "," + Vec(top) + "," + Apply(apply));
    if (result == DS_OK) {
        Params.OrientFront = front;
        Params.OrientTop = top;
    }
    return result;
}

TDSResult TScriptedListener::SetDistanceFactor(float factor, uint32_t apply)
{
    TDSResult result = Call("SetDistanceFactor", Num(factor) + "," + Apply(apply));
    if (result == DS_OK)
        Params.DistanceFactor = factor;
    return result;
}

TDSResult TScriptedListener::SetDopplerFactor(float factor, uint32_t apply)
{
    TDSResult result = Call("SetDopplerFactor", Num(factor) + "," + Apply(apply));
    if (result == DS_OK)
        Params.DopplerFactor = factor;
    return result;
}

TDSResult TScriptedListener::SetRolloffFactor(float factor, uint32_t apply)
{
    TDSResult result = Call("SetRolloffFactor", Num(factor) + "," + Apply(apply));
    if (result == DS_OK)
        Params.RolloffFactor = factor;
    return result;
}

TDSResult TScriptedListener::SetGain(float gain)
{
    return Call("SetGain", Num(gain));
}

TDSResult TScriptedListener::CommitDeferredSettings()
{
    return Call("CommitDeferredSettings", "");
}

// ---- Secondary buffer -----------------------------------------------------

TScriptedBuffer::TScriptedBuffer(TScriptedBackend& backend, std::string name, const TSoundBufferDesc& desc)
    : m_backend(backend), m_name(std::move(name)), m_desc(desc),
      m_data(desc.BufferBytes + backend.ExtraBufferBytes, 0xCD)
{
    m_backend.m_buffers.push_back(this);
}

TScriptedBuffer::~TScriptedBuffer()
{
    if (m_locked)
        m_backend.Violation(m_name + " released while locked");
    if (!m_backend.m_device)
        m_backend.Violation(m_name + " outlived the device");
    Erase(m_backend.m_buffers, this);
}

TDSResult TScriptedBuffer::Call(const std::string& method, const std::string& args)
{
    return m_backend.Answer(m_name, method, args);
}

TDSResult TScriptedBuffer::GetCaps(uint32_t& flags, uint32_t& bufferBytes)
{
    TDSResult result = Call("GetCaps");
    if (result == DS_OK) {
        flags = m_desc.Flags;
        bufferBytes = static_cast<uint32_t>(m_data.size());
    }
    return result;
}

TDSResult TScriptedBuffer::Lock(uint8_t*& region, uint32_t& regionBytes)
{
    TDSResult result = Call("Lock");
    if (result == DS_OK && Lost)
        result = DSERR_BUFFERLOST;
    if (result != DS_OK)
        return result;
    if (m_locked)
        m_backend.Violation(m_name + " locked twice");
    m_locked = true;
    region = m_data.data();
    regionBytes = static_cast<uint32_t>(m_data.size());
    return DS_OK;
}

void TScriptedBuffer::Unlock()
{
    Call("Unlock");
    if (!m_locked)
        m_backend.Violation(m_name + " unlocked without a lock");
    m_locked = false;
}

void TScriptedBuffer::Play(bool looping)
{
    Call("Play", looping ? "loop" : "once");
    if (Lost)
        return;
    Playing = true;
    Looping = looping;
}

void TScriptedBuffer::Stop()
{
    Call("Stop");
    Playing = false;
}

void TScriptedBuffer::SetCurrentPosition(uint32_t bytes)
{
    Call("SetCurrentPosition", std::to_string(bytes));
    Position = std::min<uint32_t>(bytes, static_cast<uint32_t>(m_data.size()));
}

TDSResult TScriptedBuffer::GetCurrentPosition(uint32_t& playBytes)
{
    TDSResult result = Call("GetCurrentPosition");
    if (result == DS_OK)
        playBytes = Position;
    return result;
}

TDSResult TScriptedBuffer::GetStatus(uint32_t& status)
{
    TDSResult result = Call("GetStatus");
    if (result == DS_OK)
        status = (Playing ? DSBSTATUS_PLAYING : 0) | (Playing && Looping ? DSBSTATUS_LOOPING : 0) |
                 (Lost ? DSBSTATUS_BUFFERLOST : 0);
    return result;
}

TDSResult TScriptedBuffer::Restore()
{
    TDSResult result = Call("Restore");
    if (result == DS_OK)
        Lost = false;
    return result;
}

void TScriptedBuffer::SetVolume(int32_t volume)
{
    Call("SetVolume", std::to_string(volume));
    Volume = volume;
}

int32_t TScriptedBuffer::GetVolume()
{
    Call("GetVolume");
    return Volume;
}

void TScriptedBuffer::SetPan(int32_t pan)
{
    Call("SetPan", std::to_string(pan));
    Pan = pan;
}

int32_t TScriptedBuffer::GetPan()
{
    Call("GetPan");
    return Pan;
}

void TScriptedBuffer::SetFrequency(uint32_t frequency)
{
    Call("SetFrequency", std::to_string(frequency));
    Frequency = frequency;
}

uint32_t TScriptedBuffer::GetFrequency()
{
    Call("GetFrequency");
    return Frequency;
}

TDSResult TScriptedBuffer::Query3DBuffer(std::unique_ptr<ISound3DBuffer>& buffer3D)
{
    TDSResult result = Call("Query3DBuffer");
    if (result != DS_OK)
        return result;
    if (!(m_desc.Flags & DSBCAPS_CTRL3D))
        return DSERR_CONTROLUNAVAIL;
    buffer3D = std::make_unique<TScripted3DBuffer>(m_backend, m_name + ".3d");
    return DS_OK;
}

void TScriptedBuffer::Finish()
{
    Playing = false;
    Position = static_cast<uint32_t>(m_data.size());
}

void TScriptedBuffer::Lose()
{
    Lost = true;
    Playing = false;
    std::fill(m_data.begin(), m_data.end(), uint8_t{0xEE});
}

// ---- Primary buffer -------------------------------------------------------

TScriptedPrimary::TScriptedPrimary(TScriptedBackend& backend, uint32_t flags) : Flags(flags), m_backend(backend)
{
    if (m_backend.m_primary)
        m_backend.Violation("two primary buffers");
    m_backend.m_primary = this;
}

TScriptedPrimary::~TScriptedPrimary()
{
    if (!m_backend.m_device)
        m_backend.Violation("primary outlived the device");
    if (m_backend.m_primary == this)
        m_backend.m_primary = nullptr;
}

TDSResult TScriptedPrimary::SetFormat(const TWaveFormat& format)
{
    TDSResult result = m_backend.Answer("primary", "SetFormat",
                                        std::to_string(format->nChannels) + "," +
                                            std::to_string(format->nSamplesPerSec) + "," +
                                            std::to_string(format->wBitsPerSample) + "," +
                                            std::to_string(format->nBlockAlign) + "," +
                                            std::to_string(format->nAvgBytesPerSec));
    if (result == DS_OK)
        Format = format;
    return result;
}

void TScriptedPrimary::Play(bool looping)
{
    m_backend.Answer("primary", "Play", looping ? "loop" : "once");
    Playing = true;
}

TDSResult TScriptedPrimary::QueryListener(std::unique_ptr<ISound3DListener>& listener)
{
    TDSResult result = m_backend.Answer("primary", "QueryListener", "");
    if (result != DS_OK)
        return result;
    if (!(Flags & DSBCAPS_CTRL3D))
        return DSERR_CONTROLUNAVAIL;
    listener = std::make_unique<TScriptedListener>(m_backend, "listener");
    return DS_OK;
}

// ---- Device ---------------------------------------------------------------

TScriptedDevice::TScriptedDevice(TScriptedBackend& backend, std::string description)
    : m_backend(backend), m_description(std::move(description))
{
    if (m_backend.m_device)
        m_backend.Violation("two devices open");
    m_backend.m_device = this;
}

TScriptedDevice::~TScriptedDevice()
{
    m_backend.Answer("", "ReleaseDevice", "");
    if (!m_backend.m_buffers.empty() || m_backend.m_primary || m_backend.m_listener || !m_backend.m_buffers3D.empty())
        m_backend.Violation("device released before what it made");
    if (m_backend.m_device == this)
        m_backend.m_device = nullptr;
}

TDSResult TScriptedDevice::SetCooperativeLevel(uint32_t level)
{
    return m_backend.Answer("", "SetCooperativeLevel", std::to_string(level));
}

TDSResult TScriptedDevice::CreatePrimaryBuffer(uint32_t flags, std::unique_ptr<IPrimaryBuffer>& primary)
{
    TDSResult result = m_backend.Answer("", "CreatePrimaryBuffer", Hex(flags));
    if (result == DS_OK)
        primary = std::make_unique<TScriptedPrimary>(m_backend, flags);
    return result;
}

TDSResult TScriptedDevice::CreateSoundBuffer(const TSoundBufferDesc& desc, std::unique_ptr<ISoundBuffer>& buffer)
{
    TDSResult result = m_backend.Answer("", "CreateSoundBuffer", Hex(desc.Flags) + "," + std::to_string(desc.BufferBytes));
    if (result == DS_OK) {
        ++m_backend.m_buffersCreated;
        buffer = std::make_unique<TScriptedBuffer>(m_backend, "buf" + std::to_string(m_backend.m_buffersCreated), desc);
    }
    return result;
}

TDSResult TScriptedDevice::GetCaps(TDSCaps& caps)
{
    TDSResult result = m_backend.Answer("", "GetCaps", "");
    if (result == DS_OK) {
        caps = TDSCaps{};
        caps.Flags = 0x0F00;
        caps.MaxSecondarySampleRate = 100000;
        caps.MaxHw3DAllBuffers = 32;
    }
    return result;
}

void TScriptedDevice::SetSpeakerConfig(uint32_t config)
{
    m_backend.Answer("", "SetSpeakerConfig", std::to_string(config));
    SpeakerConfig = config;
}

uint32_t TScriptedDevice::GetSpeakerConfig()
{
    m_backend.Answer("", "GetSpeakerConfig", "");
    return SpeakerConfig;
}

// ---- Back end -------------------------------------------------------------

TScriptedBackend::TScriptedBackend()
    : TScriptedBackend({TSoundDeviceEntry{std::nullopt, "Primary Sound Driver", ""},
                        TSoundDeviceEntry{std::array<uint8_t, 16>{1, 2, 3}, "Scripted Output", "scripted"}})
{
}

TScriptedBackend::TScriptedBackend(std::vector<TSoundDeviceEntry> devices) : m_devices(std::move(devices)) {}

TScriptedBackend::~TScriptedBackend() = default;

std::vector<TSoundDeviceEntry> TScriptedBackend::EnumerateDevices()
{
    Log("EnumerateDevices()");
    return m_devices;
}

TDSResult TScriptedBackend::CreateDevice(const TSoundDeviceEntry& entry, std::unique_ptr<ISoundDevice>& device)
{
    TDSResult result = Answer("", "CreateDevice", entry.Description);
    if (result == DS_OK) {
        ++m_devicesCreated;
        device = std::make_unique<TScriptedDevice>(*this, entry.Description);
    }
    return result;
}

void TScriptedBackend::Fail(const std::string& call, TDSResult code, int times)
{
    m_failures[call] = TFailure{code, times};
}

void TScriptedBackend::Heal(const std::string& call)
{
    m_failures.erase(call);
}

TDSResult TScriptedBackend::Answer(const std::string& object, const std::string& method, const std::string& args)
{
    const std::string qualified = object.empty() ? method : object + "." + method;
    Log(qualified + "(" + args + ")");
    for (const std::string& key : {qualified, method}) {
        auto it = m_failures.find(key);
        if (it == m_failures.end())
            continue;
        const TDSResult code = it->second.Code;
        if (it->second.Remaining > 0 && --it->second.Remaining == 0)
            m_failures.erase(it);
        return code;
    }
    return DS_OK;
}

std::vector<std::string> TScriptedBackend::CallsOf(const std::string& prefix) const
{
    std::vector<std::string> calls;
    for (const std::string& call : m_calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            calls.push_back(call);
    return calls;
}

TScriptedBuffer* TScriptedBackend::Buffer(const std::string& name) const
{
    for (TScriptedBuffer* buffer : m_buffers)
        if (buffer->Name() == name)
            return buffer;
    return nullptr;
}

TScripted3DBuffer* TScriptedBackend::Buffer3D(const std::string& name) const
{
    for (TScripted3DBuffer* buffer : m_buffers3D)
        if (buffer->Name() == name)
            return buffer;
    return nullptr;
}

void LoadWaveImage(TMMWave& wave, const std::vector<uint8_t>& image)
{
    std::istringstream stream(std::string(image.begin(), image.end()));
    wave.LoadFromStream(stream);
}
