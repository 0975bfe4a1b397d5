#pragma once
// The application object. Its notify() is the last guard at the event
// dispatch boundary: an exception escaping any event handler that has no
// guard of its own is shown in a message box with its text and the program
// goes on.

#include "ui/error_guard.h"

#include <QApplication>

class IPrompts;

class TAmbitoneApplication : public QApplication {
public:
    TAmbitoneApplication(int& argc, char** argv);
    void SetPrompts(IPrompts* prompts) { m_prompts = prompts; }
    IPrompts* Prompts() const { return m_prompts; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    IPrompts* m_prompts = nullptr;
};
