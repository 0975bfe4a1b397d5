#include "ui/accessible.h"

#include "ui/hints.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QWidget>

namespace {

// Control prefixes that are a kind, not a name.
const char* const kPrefixes[] = {"chk", "lbl", "txt", "tbl", "dta", "btn"};

QString Caption(const QWidget* widget)
{
    QString text;
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        text = button->text();
    else if (auto* label = qobject_cast<const QLabel*>(widget))
        text = label->text();
    text.remove(QLatin1Char('&'));
    return text.trimmed();
}

} // namespace

QString NameInWords(const QString& objectName)
{
    QString name = objectName;
    for (const char* prefix : kPrefixes) {
        const QString p = QString::fromLatin1(prefix);
        if (name.startsWith(p) && name.size() > p.size() && name.at(p.size()).isUpper()) {
            name = name.mid(p.size());
            break;
        }
    }
    QString words;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool boundary = i > 0 && c.isUpper() &&
                              (name.at(i - 1).isLower() || (i + 1 < name.size() && name.at(i + 1).isLower()));
        if (boundary)
            words += QLatin1Char(' ');
        words += words.isEmpty() ? c : (boundary ? c.toLower() : c);
    }
    // A trailing number is a component's index, not part of its name.
    while (!words.isEmpty() && words.back().isDigit())
        words.chop(1);
    return words.trimmed();
}

bool IsReachableControl(const QWidget* widget)
{
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
           qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QTabBar*>(widget) || widget->focusPolicy() != Qt::NoFocus;
}

void NameControls(QWidget* root)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        // Unnamed parts (a scroll area's bars, a view's header) are named by
        // Qt's own accessibility for their owner.
        if (!IsReachableControl(widget) || widget->objectName().isEmpty() ||
            widget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QString hint = widget->property("hint").toString();
        if (widget->accessibleName().isEmpty()) {
            QString name = Caption(widget);
            if (name.isEmpty())
                name = HintShortPart(hint).trimmed();
            if (name.isEmpty())
                name = NameInWords(widget->objectName());
            widget->setAccessibleName(name);
        }
        if (widget->accessibleDescription().isEmpty() && !hint.isEmpty())
            widget->setAccessibleDescription(HintLongPart(hint));
    }
}
