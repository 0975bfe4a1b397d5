#include "app/application.h"

#include "app/prompts.h"

#include <QMessageBox>

#include <exception>

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

void ShowCurrentException(IPrompts* prompts)
{
    QString text;
    try {
        throw;
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("An unknown error occurred.");
    }
    if (prompts)
        prompts->ShowError(text);
    else
        QMessageBox::critical(nullptr, QStringLiteral("Ambitone"), text);
}
