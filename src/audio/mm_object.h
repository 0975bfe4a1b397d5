#pragma once
// The base of the multimedia objects: an update counter and one change
// callback that the owner sets. While the counter is above zero the callback
// is not called; what else a subclass tells on a change is its own business.
//
// Also the engine's hook for a busy indicator: the engine has no cursor of
// its own, so the window may install one to be shown during long loads.

#include <functional>

class TMMObject {
public:
    TMMObject() = default;
    virtual ~TMMObject() = default;
    TMMObject(const TMMObject&) = delete;
    TMMObject& operator=(const TMMObject&) = delete;

    void BeginUpdate() { ++m_updateCount; }
    // Unbalanced calls stop at zero. Reaching zero sends nothing by itself.
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }

    void SetOnChange(std::function<void()> callback) { m_onChange = std::move(callback); }
    const std::function<void()>& OnChange() const { return m_onChange; }

protected:
    // Calls the change callback when the update counter is zero.
    virtual void Changed();

private:
    int m_updateCount = 0;
    std::function<void()> m_onChange;
};

// Shown by the engine around operations long enough to be noticed (loading
// or saving a large image). Called on the user-interface thread; BeginBusy
// and EndBusy always come in pairs, EndBusy also when the operation fails.
// Neither may throw.
class TMMBusyIndicator {
public:
    virtual ~TMMBusyIndicator() = default;
    // Show the busy state, remembering what was shown before.
    virtual void BeginBusy() = 0;
    // Put back what BeginBusy replaced.
    virtual void EndBusy() = 0;
};

// The indicator is not owned; nullptr (the default) shows nothing.
void SetMMBusyIndicator(TMMBusyIndicator* indicator);
TMMBusyIndicator* MMBusyIndicator();

// Holds the busy indicator for a scope when `busy` is true.
class TMMBusyScope {
public:
    explicit TMMBusyScope(bool busy);
    ~TMMBusyScope();
    TMMBusyScope(const TMMBusyScope&) = delete;
    TMMBusyScope& operator=(const TMMBusyScope&) = delete;

private:
    TMMBusyIndicator* m_indicator = nullptr;
};
