#pragma once
// An edit or append of one table row that is either posted or undone: the
// scope starts it, Post writes it, and a scope left without a successful
// Post (an exception on the way, an early return) cancels it, so that the
// row stays as it was and the table goes back to browsing.
//
//     TEditScope scope(table, TEditScope::Edit);
//     name.SetAsString(text);
//     scope.Post();

#include "store/table.h"

class TEditScope {
public:
    enum TMode { Edit, Append };

    // TTable::Edit on the current row or TTable::Append; raises what they
    // raise, with a row they started cancelled again. An edit already
    // pending on the table is continued, as TTable::Edit does, and so
    // becomes this scope's to post or cancel.
    TEditScope(TTable& table, TMode mode);
    // Cancels the edit unless Post succeeded. Never throws: an error of the
    // cancel (or of a handler it raises) is dropped.
    ~TEditScope();
    TEditScope(const TEditScope&) = delete;
    TEditScope& operator=(const TEditScope&) = delete;

    // TTable::Post. When it raises, the edit is still pending and the
    // destructor cancels it.
    void Post();

private:
    TTable& m_table;
    bool m_posted = false;
};
