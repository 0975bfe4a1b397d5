#pragma once
// The application object. Its notify() is the one guard at the event
// dispatch boundary: an exception escaping any event handler (actions,
// timers, table events reached from them) is shown in a message box with its
// text and the program goes on.

#include <QApplication>

class IPrompts;

class TAmbitoneApplication : public QApplication {
public:
    TAmbitoneApplication(int& argc, char** argv);
    void SetPrompts(IPrompts* prompts) { m_prompts = prompts; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    IPrompts* m_prompts = nullptr;
};

// Shows the message of the exception being handled; for use in catch blocks.
void ShowCurrentException(IPrompts* prompts);
