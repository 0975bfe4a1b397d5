#pragma once
// The one guard at every boundary where the event loop calls program code:
// actions, timers, tree and table hooks, and (in the application object)
// every other event. What it catches is shown in a message box with the
// exception's text, and the program goes on.

#include <utility>

class IPrompts;

// Shows the message of the exception being handled; for use in catch
// blocks. Without prompts, a plain message box.
void ShowCurrentException(IPrompts* prompts);

// Runs the work; whatever it raises is shown. True when it ended normally.
template <class F>
bool Guarded(IPrompts* prompts, F&& work)
{
    try {
        std::forward<F>(work)();
        return true;
    } catch (...) {
        ShowCurrentException(prompts);
        return false;
    }
}
