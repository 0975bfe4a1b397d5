#pragma once
// The process-wide random generator: a 32-bit state, reseeded from the
// milliseconds since midnight UTC (read through the clock), stepped as
// s := s x 134775813 + 1 for each draw.

#include <cstdint>

class IClock;

class TRandomSource {
public:
    // Sets the state to the clock's milliseconds since midnight UTC.
    void Reseed(IClock& clock);
    // A value in 0..n-1, the upper 32 bits of n x s after the step; 0 for n = 0.
    uint32_t Random(uint32_t n);
    uint32_t State() const { return m_state; }
    void SetState(uint32_t state) { m_state = state; }

private:
    uint32_t m_state = 0;
};

TRandomSource& ProcessRandom();
