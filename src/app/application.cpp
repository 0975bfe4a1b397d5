#include "app/application.h"

TAmbitoneApplication::TAmbitoneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TAmbitoneApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException(m_prompts);
        return true;
    }
}
