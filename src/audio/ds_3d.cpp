#include "audio/ds_3d.h"

#include "audio/mixer_errors.h"

#include <algorithm>

namespace {

int32_t ClampConeAngle(int64_t degrees)
{
    return static_cast<int32_t>(std::clamp<int64_t>(degrees, 0, 360));
}

} // namespace

// ---- TMMVector3D ----------------------------------------------------------

long double TMMVector3D::Component(int index) const
{
    return index >= 0 && index < 3 ? m_values[static_cast<size_t>(index)] : 0.0L;
}

void TMMVector3D::SetComponent(int index, long double value)
{
    if (index >= 0 && index < 3) {
        long double& stored = m_values[static_cast<size_t>(index)];
        if (stored == value)
            return;
        stored = value;
    }
    Changed();
}

void TMMVector3D::Assign(const TMMVector3D& source)
{
    Assign(source.X(), source.Y(), source.Z());
}

void TMMVector3D::Assign(long double x, long double y, long double z)
{
    if (m_values[0] == x && m_values[1] == y && m_values[2] == z)
        return;
    m_values = {x, y, z};
    Changed();
}

TVector3 TMMVector3D::ToPlatform() const
{
    return TVector3{static_cast<float>(m_values[0]), static_cast<float>(m_values[1]), static_cast<float>(m_values[2])};
}

void TMMVector3D::Refresh(const TVector3& platform)
{
    m_values = {platform.X, platform.Y, platform.Z};
}

// ---- TMMDS3DControl -------------------------------------------------------

void TMMDS3DControl::SetDeferred(bool deferred)
{
    if (deferred == m_deferred)
        return;
    m_deferred = deferred;
    if (!m_deferred)
        CommitAll();
}

void TMMDS3DControl::BeginUpdate()
{
    TMMObject::BeginUpdate();
}

void TMMDS3DControl::EndUpdate()
{
    // An unbalanced EndUpdate closes nothing, so it commits nothing.
    if (UpdateCount() == 0)
        return;
    TMMObject::EndUpdate();
    if (UpdateCount() == 0)
        CommitAll();
}

void TMMDS3DControl::Check(TDSResult result)
{
    if (result != DS_OK)
        throw EDirectSoundError(result);
}

// ---- TMMDS3DBuffer --------------------------------------------------------

TMMDS3DBuffer::TMMDS3DBuffer()
{
    m_position.SetOnChange([this] { SendVector(m_position); });
    m_velocity.SetOnChange([this] { SendVector(m_velocity); });
    m_coneOrientation.SetOnChange([this] { SendVector(m_coneOrientation); });
}

TMMDS3DBuffer::~TMMDS3DBuffer() = default;

void TMMDS3DBuffer::Attach(ISoundBuffer* buffer)
{
    Detach();
    if (!buffer)
        return;
    uint32_t flags = 0;
    uint32_t bytes = 0;
    Check(buffer->GetCaps(flags, bytes));
    if (!(flags & DSBCAPS_CTRL3D))
        return;
    std::unique_ptr<ISound3DBuffer> buffer3D;
    if (buffer->Query3DBuffer(buffer3D) != DS_OK || !buffer3D)
        throw EDSMixError("Error obtaining 3D interface");
    m_interface = std::move(buffer3D);
    CommitAll();
}

void TMMDS3DBuffer::Detach()
{
    m_interface.reset();
}

void TMMDS3DBuffer::CommitAll()
{
    if (!Attached())
        return;
    TDS3DBufferParams params;
    {
        TCommitScope committing(*this);
        params.Position = Position().ToPlatform();
        params.Velocity = Velocity().ToPlatform();
        params.InsideConeAngle = static_cast<uint32_t>(InsideConeAngle());
        params.OutsideConeAngle = static_cast<uint32_t>(OutsideConeAngle());
        params.ConeOrientation = ConeOrientation().ToPlatform();
        params.ConeOutsideVolume = ConeOutsideVolume();
        params.MinDistance = MinDistance();
        params.MaxDistance = MaxDistance();
        params.Mode = static_cast<uint32_t>(Mode());
    }
    Check(m_interface->SetAllParameters(params, ApplyFlag()));
}

bool TMMDS3DBuffer::ReadBack(TDS3DBufferParams& params)
{
    if (!ReadsBack())
        return false;
    Check(m_interface->GetAllParameters(params));
    return true;
}

float TMMDS3DBuffer::MaxDistance()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_maxDistance = params.MaxDistance;
    return m_maxDistance;
}

void TMMDS3DBuffer::SetMaxDistance(float distance)
{
    if (distance == m_maxDistance)
        return;
    m_maxDistance = distance;
    if (SendsNow())
        Check(m_interface->SetMaxDistance(distance, ApplyFlag()));
}

float TMMDS3DBuffer::MinDistance()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_minDistance = params.MinDistance;
    return m_minDistance;
}

void TMMDS3DBuffer::SetMinDistance(float distance)
{
    if (distance == m_minDistance)
        return;
    m_minDistance = distance;
    if (SendsNow())
        Check(m_interface->SetMinDistance(distance, ApplyFlag()));
}

TMMDS3DBufferMode TMMDS3DBuffer::Mode()
{
    TDS3DBufferParams params;
    // A mode this system does not know leaves the stored one.
    if (ReadBack(params) && params.Mode <= DS3DMODE_DISABLE)
        m_mode = static_cast<TMMDS3DBufferMode>(params.Mode);
    return m_mode;
}

void TMMDS3DBuffer::SetMode(TMMDS3DBufferMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    if (SendsNow())
        Check(m_interface->SetMode(static_cast<uint32_t>(mode), ApplyFlag()));
}

int32_t TMMDS3DBuffer::InsideConeAngle()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_insideConeAngle = ClampConeAngle(params.InsideConeAngle);
    return m_insideConeAngle;
}

void TMMDS3DBuffer::SetInsideConeAngle(int32_t degrees)
{
    degrees = ClampConeAngle(degrees);
    if (degrees == m_insideConeAngle)
        return;
    m_insideConeAngle = degrees;
    SendConeAngles();
}

int32_t TMMDS3DBuffer::OutsideConeAngle()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_outsideConeAngle = ClampConeAngle(params.OutsideConeAngle);
    return m_outsideConeAngle;
}

void TMMDS3DBuffer::SetOutsideConeAngle(int32_t degrees)
{
    degrees = ClampConeAngle(degrees);
    if (degrees == m_outsideConeAngle)
        return;
    m_outsideConeAngle = degrees;
    SendConeAngles();
}

void TMMDS3DBuffer::SendConeAngles()
{
    // The platform takes both angles in one call.
    if (SendsNow())
        Check(m_interface->SetConeAngles(static_cast<uint32_t>(m_insideConeAngle),
                                         static_cast<uint32_t>(m_outsideConeAngle), ApplyFlag()));
}

int32_t TMMDS3DBuffer::ConeOutsideVolume()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_coneOutsideVolume = params.ConeOutsideVolume;
    return m_coneOutsideVolume;
}

void TMMDS3DBuffer::SetConeOutsideVolume(int32_t volume)
{
    if (volume == m_coneOutsideVolume)
        return;
    m_coneOutsideVolume = volume;
    if (SendsNow())
        Check(m_interface->SetConeOutsideVolume(volume, ApplyFlag()));
}

TMMVector3D& TMMDS3DBuffer::Position()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_position.Refresh(params.Position);
    return m_position;
}

TMMVector3D& TMMDS3DBuffer::Velocity()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_velocity.Refresh(params.Velocity);
    return m_velocity;
}

TMMVector3D& TMMDS3DBuffer::ConeOrientation()
{
    TDS3DBufferParams params;
    if (ReadBack(params))
        m_coneOrientation.Refresh(params.ConeOrientation);
    return m_coneOrientation;
}

void TMMDS3DBuffer::SendVector(TMMVector3D& vector)
{
    if (!SendsNow())
        return;
    const TVector3 value = vector.ToPlatform();
    if (&vector == &m_position)
        Check(m_interface->SetPosition(value, ApplyFlag()));
    else if (&vector == &m_velocity)
        Check(m_interface->SetVelocity(value, ApplyFlag()));
    else
        Check(m_interface->SetConeOrientation(value, ApplyFlag()));
}

void TMMDS3DBuffer::Loaded()
{
    if (m_coneOrientation.IsZero())
        m_coneOrientation.Assign(0, 0, 1);
}

// ---- TMMDS3DListener ------------------------------------------------------

TMMDS3DListener::TMMDS3DListener()
{
    m_orientFront.SetOnChange([this] { SendOrientation(); });
    m_orientTop.SetOnChange([this] { SendOrientation(); });
    m_position.SetOnChange([this] {
        if (SendsNow())
            Check(m_interface->SetPosition(m_position.ToPlatform(), ApplyFlag()));
    });
    m_velocity.SetOnChange([this] {
        if (SendsNow())
            Check(m_interface->SetVelocity(m_velocity.ToPlatform(), ApplyFlag()));
    });
}

TMMDS3DListener::~TMMDS3DListener() = default;

void TMMDS3DListener::Attach(IPrimaryBuffer* primary)
{
    Detach();
    if (!primary)
        return;
    std::unique_ptr<ISound3DListener> listener;
    if (primary->QueryListener(listener) != DS_OK || !listener)
        throw EDSMixError("Error obtaining 3D interface");
    m_interface = std::move(listener);
    CommitAll();
    if (m_gain != 1.0f)
        Check(m_interface->SetGain(m_gain));
}

void TMMDS3DListener::SetGain(float gain)
{
    gain = std::clamp(gain, 0.0f, 1.0f);
    if (gain == m_gain)
        return;
    m_gain = gain;
    if (Attached())
        Check(m_interface->SetGain(gain));
}

void TMMDS3DListener::Detach()
{
    m_interface.reset();
}

void TMMDS3DListener::CommitAll()
{
    if (!Attached())
        return;
    TDS3DListenerParams params;
    {
        TCommitScope committing(*this);
        params.Position = Position().ToPlatform();
        params.Velocity = Velocity().ToPlatform();
        params.OrientFront = OrientFront().ToPlatform();
        params.OrientTop = OrientTop().ToPlatform();
        params.DistanceFactor = DistanceFactor();
        params.RolloffFactor = RollOffFactor();
        params.DopplerFactor = DopplerFactor();
    }
    Check(m_interface->SetAllParameters(params, ApplyFlag()));
}

bool TMMDS3DListener::ReadBack(TDS3DListenerParams& params)
{
    if (!ReadsBack())
        return false;
    Check(m_interface->GetAllParameters(params));
    return true;
}

float TMMDS3DListener::DistanceFactor()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_distanceFactor = params.DistanceFactor;
    return m_distanceFactor;
}

void TMMDS3DListener::SetDistanceFactor(float factor)
{
    if (factor == m_distanceFactor)
        return;
    m_distanceFactor = factor;
    if (SendsNow())
        Check(m_interface->SetDistanceFactor(factor, ApplyFlag()));
}

float TMMDS3DListener::DopplerFactor()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_dopplerFactor = params.DopplerFactor;
    return m_dopplerFactor;
}

void TMMDS3DListener::SetDopplerFactor(float factor)
{
    if (factor == m_dopplerFactor)
        return;
    m_dopplerFactor = factor;
    if (SendsNow())
        Check(m_interface->SetDopplerFactor(factor, ApplyFlag()));
}

float TMMDS3DListener::RollOffFactor()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_rollOffFactor = params.RolloffFactor;
    return m_rollOffFactor;
}

void TMMDS3DListener::SetRollOffFactor(float factor)
{
    if (factor == m_rollOffFactor)
        return;
    m_rollOffFactor = factor;
    if (SendsNow())
        Check(m_interface->SetRolloffFactor(factor, ApplyFlag()));
}

TMMVector3D& TMMDS3DListener::OrientFront()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_orientFront.Refresh(params.OrientFront);
    return m_orientFront;
}

TMMVector3D& TMMDS3DListener::OrientTop()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_orientTop.Refresh(params.OrientTop);
    return m_orientTop;
}

TMMVector3D& TMMDS3DListener::Position()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_position.Refresh(params.Position);
    return m_position;
}

TMMVector3D& TMMDS3DListener::Velocity()
{
    TDS3DListenerParams params;
    if (ReadBack(params))
        m_velocity.Refresh(params.Velocity);
    return m_velocity;
}

void TMMDS3DListener::SendOrientation()
{
    if (SendsNow())
        Check(m_interface->SetOrientation(m_orientFront.ToPlatform(), m_orientTop.ToPlatform(), ApplyFlag()));
}

void TMMDS3DListener::Loaded()
{
    if (m_orientFront.IsZero())
        m_orientFront.Assign(0, 0, 1);
    if (m_orientTop.IsZero())
        m_orientTop.Assign(0, 1, 0);
}
