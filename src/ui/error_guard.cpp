#include "ui/error_guard.h"

#include "ui/prompts.h"

#include <QMessageBox>
#include <QString>

#include <exception>

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
