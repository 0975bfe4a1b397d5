#include "store/edit_scope.h"

namespace {

void CancelQuietly(TTable& table) noexcept
{
    try {
        table.Cancel();
    } catch (...) {
        // Often running during an unwind: a second exception would end the
        // program, and the first one is the one worth showing.
    }
}

} // namespace

TEditScope::TEditScope(TTable& table, TMode mode) : m_table(table)
{
    const bool wasEditing = m_table.IsEditing();
    try {
        if (mode == Append)
            m_table.Append();
        else
            m_table.Edit();
    } catch (...) {
        // A handler of the new row (OnNewRecord, AfterScroll) failed after
        // the row was started: no scope exists to undo it, so undo it here.
        if (!wasEditing && m_table.IsEditing())
            CancelQuietly(m_table);
        throw;
    }
}

TEditScope::~TEditScope()
{
    if (!m_posted)
        CancelQuietly(m_table);
}

void TEditScope::Post()
{
    m_table.Post();
    m_posted = true;
}
