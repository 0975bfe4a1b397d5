#pragma once
// The errors of the 3D mixer and its sound device.

#include "base/error.h"

#include <cstdint>
#include <string>

class EMMDSWaveMixError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

class EDSMixError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

class EOutOfResources : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

// A failure code of the sound device, with the message that belongs to it.
class EDirectSoundError : public EAmbitoneError {
public:
    explicit EDirectSoundError(uint32_t code) : EAmbitoneError(MessageFor(code)), m_code(code) {}
    uint32_t Code() const { return m_code; }
    static std::string MessageFor(uint32_t code);

private:
    uint32_t m_code;
};
