#include "playback/random_source.h"

#include "base/clock.h"

void TRandomSource::Reseed(IClock& clock)
{
    m_state = static_cast<uint32_t>(clock.MillisecondsSinceMidnightUtc());
}

uint32_t TRandomSource::Random(uint32_t n)
{
    m_state = m_state * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(n) * m_state) >> 32);
}

TRandomSource& ProcessRandom()
{
    static TRandomSource source;
    return source;
}
