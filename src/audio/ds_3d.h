#pragma once
// The 3D parameters of a sound source (every mix channel's Sound3D) and of
// the listener (the mixer's Sound3D). Each holder keeps its values while no
// platform 3D interface exists, sends every change at once while one is
// attached, and sends everything together when one is attached, so a
// position set before a channel's first play takes effect when it first
// sounds.
//
// Contract: user-interface thread only, like the mixer. Platform failures
// raise EDirectSoundError with the platform's code; Attach raises
// EDSMixError "Error obtaining 3D interface" when a buffer made with 3D
// control yields no interface. Reading a parameter while attached (and not
// committing) asks the platform and keeps its answer, which carries single
// precision: 0.1 applied reads back as 0.100000001490116.

#include "audio/backends/sound_backend.h"
#include "audio/mm_object.h"

#include <array>
#include <cstdint>
#include <memory>

enum class TMMDS3DBufferMode { bmNormal, bmHeadRelative, bmNo3D };

// Three components at extended precision; the owner hears of changes
// through the change callback.
class TMMVector3D : public TMMObject {
public:
    TMMVector3D() = default;
    TMMVector3D(long double x, long double y, long double z) : m_values{x, y, z} {}

    long double X() const { return m_values[0]; }
    long double Y() const { return m_values[1]; }
    long double Z() const { return m_values[2]; }
    void SetX(long double value) { SetComponent(0, value); }
    void SetY(long double value) { SetComponent(1, value); }
    void SetZ(long double value) { SetComponent(2, value); }

    // 0 = X, 1 = Y, 2 = Z; any other index reads 0.
    long double Component(int index) const;
    // Notifies only when the value differs. An index outside 0..2 stores
    // nothing but still notifies, so the owner sends what it holds.
    void SetComponent(int index, long double value);
    // Notifies once, and only when any component differs.
    void Assign(const TMMVector3D& source);
    void Assign(long double x, long double y, long double z);

    bool IsZero() const { return m_values[0] == 0 && m_values[1] == 0 && m_values[2] == 0; }
    TVector3 ToPlatform() const;
    // Takes a value read back from the platform. Not a change: nothing is
    // told, so nothing is sent back.
    void Refresh(const TVector3& platform);

private:
    std::array<long double, 3> m_values{};
};

// What the source and the listener holders share: the apply mode, the
// update nesting and the attach state.
class TMMDS3DControl : public TMMObject {
public:
    // When true, single changes go with the platform's deferred flag;
    // turning it off sends every parameter at once.
    bool Deferred() const { return m_deferred; }
    void SetDeferred(bool deferred);

    // Hold back single sends; the EndUpdate that closes the outermost
    // BeginUpdate commits everything in one call.
    void BeginUpdate();
    void EndUpdate();

    virtual void Detach() = 0;
    // Sends every parameter in one call; nothing while detached.
    virtual void CommitAll() = 0;
    virtual bool Attached() const = 0;
    bool Committing() const { return m_committing; }

protected:
    uint32_t ApplyFlag() const { return m_deferred ? DS3D_DEFERRED : DS3D_IMMEDIATE; }
    bool SendsNow() const { return Attached() && UpdateCount() == 0; }
    bool ReadsBack() const { return Attached() && !m_committing; }
    static void Check(TDSResult result);

    // Marks a CommitAll, so that the getters it uses return stored copies.
    class TCommitScope {
    public:
        explicit TCommitScope(TMMDS3DControl& control) : m_control(control) { m_control.m_committing = true; }
        ~TCommitScope() { m_control.m_committing = false; }
        TCommitScope(const TCommitScope&) = delete;
        TCommitScope& operator=(const TCommitScope&) = delete;

    private:
        TMMDS3DControl& m_control;
    };

private:
    bool m_deferred = false;
    bool m_committing = false;
};

// A sound source: the Sound3D of every mix channel.
class TMMDS3DBuffer : public TMMDS3DControl {
public:
    TMMDS3DBuffer();
    ~TMMDS3DBuffer() override;

    // Detaches, then takes the 3D interface of a buffer made with 3D
    // control and sends everything. nullptr, or a buffer without 3D
    // control, leaves the holder detached.
    void Attach(ISoundBuffer* buffer);
    void Detach() override;
    void CommitAll() override;
    bool Attached() const override { return m_interface != nullptr; }

    float MaxDistance();
    void SetMaxDistance(float distance);
    float MinDistance();
    void SetMinDistance(float distance);
    TMMDS3DBufferMode Mode();
    void SetMode(TMMDS3DBufferMode mode);
    // Degrees, kept within 0..360: the platform takes them unsigned.
    int32_t InsideConeAngle();
    void SetInsideConeAngle(int32_t degrees);
    int32_t OutsideConeAngle();
    void SetOutsideConeAngle(int32_t degrees);
    // Hundredths of a decibel.
    int32_t ConeOutsideVolume();
    void SetConeOutsideVolume(int32_t volume);

    // Changing a component, or assigning the whole vector, sends it.
    TMMVector3D& Position();
    TMMVector3D& Velocity();
    TMMVector3D& ConeOrientation();

    // After loading stored values: a cone orientation left all zero points
    // to +Z.
    void Loaded();

private:
    // The platform's current parameters, when attached and not committing;
    // each getter keeps only its own, so a deferred change of another
    // parameter is not overwritten.
    bool ReadBack(TDS3DBufferParams& params);
    void SendVector(TMMVector3D& vector);
    void SendConeAngles();

    std::unique_ptr<ISound3DBuffer> m_interface;
    float m_maxDistance = 1000000000.0f;
    float m_minDistance = 1.0f;
    TMMDS3DBufferMode m_mode = TMMDS3DBufferMode::bmNormal;
    int32_t m_insideConeAngle = 360;
    int32_t m_outsideConeAngle = 360;
    int32_t m_coneOutsideVolume = 0;
    TMMVector3D m_position;
    TMMVector3D m_velocity;
    TMMVector3D m_coneOrientation{0, 0, 1};
};

// The listener: the mixer's Sound3D, attached to the primary buffer while
// the device is open with 3D.
class TMMDS3DListener : public TMMDS3DControl {
public:
    TMMDS3DListener();
    ~TMMDS3DListener() override;

    void Attach(IPrimaryBuffer* primary);
    void Detach() override;
    void CommitAll() override;
    bool Attached() const override { return m_interface != nullptr; }

    float DistanceFactor();
    void SetDistanceFactor(float factor);
    float DopplerFactor();
    void SetDopplerFactor(float factor);
    float RollOffFactor();
    void SetRollOffFactor(float factor);
    // The level of the whole scene, 0 to 1; kept across device openings.
    float Gain() const { return m_gain; }
    void SetGain(float gain);

    // A change of either orientation sends both together.
    TMMVector3D& OrientFront();
    TMMVector3D& OrientTop();
    TMMVector3D& Position();
    TMMVector3D& Velocity();

    // After loading stored values: an all-zero front becomes +Z, an
    // all-zero top +Y.
    void Loaded();

private:
    bool ReadBack(TDS3DListenerParams& params);
    void SendOrientation();

    std::unique_ptr<ISound3DListener> m_interface;
    float m_distanceFactor = 1.0f;
    float m_dopplerFactor = 1.0f;
    float m_rollOffFactor = 1.0f;
    float m_gain = 1.0f;
    TMMVector3D m_orientFront{0, 0, 1};
    TMMVector3D m_orientTop{0, 1, 0};
    TMMVector3D m_position;
    TMMVector3D m_velocity;
};
