#include "audio/mm_object.h"

namespace {
TMMBusyIndicator* g_busyIndicator = nullptr;
} // namespace

void TMMObject::EndUpdate()
{
    if (m_updateCount > 0)
        --m_updateCount;
}

void TMMObject::Changed()
{
    if (m_updateCount == 0 && m_onChange)
        m_onChange();
}

void SetMMBusyIndicator(TMMBusyIndicator* indicator)
{
    g_busyIndicator = indicator;
}

TMMBusyIndicator* MMBusyIndicator()
{
    return g_busyIndicator;
}

TMMBusyScope::TMMBusyScope(bool busy)
{
    // Remember the indicator itself, so that EndBusy reaches the one that
    // began even if another is installed meanwhile.
    if (busy && g_busyIndicator) {
        m_indicator = g_busyIndicator;
        m_indicator->BeginBusy();
    }
}

TMMBusyScope::~TMMBusyScope()
{
    if (m_indicator)
        m_indicator->EndBusy();
}
