#include "app/window_settings.h"

#include <QSettings>
#include <QSplitter>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace {

bool ParsePlacement(const QString& text, QRect& rect, QString& state)
{
    QStringList parts = text.split(u',');
    if (parts.size() != 5)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    if (values[2] < 100 || values[3] < 100)
        return false;
    rect = QRect(values[0], values[1], values[2], values[3]);
    state = parts[4].trimmed();
    return true;
}

} // namespace

void RestoreWindowPlacement(QWidget* window, QSettings& settings, const QString& key, const QRect& firstRun)
{
    QRect rect = firstRun;
    QString state = QStringLiteral("normal");
    if (!ParsePlacement(settings.value(key).toString(), rect, state)) {
        rect = firstRun;
        state = QStringLiteral("normal");
    }
    window->resize(rect.size());
    window->move(rect.topLeft());
    if (state == u"maximized")
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    else if (state == u"minimized")
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
}

void SaveWindowPlacement(const QWidget* window, QSettings& settings, const QString& key)
{
    QRect normal = window->isMaximized() || window->isMinimized() ? window->normalGeometry() : window->geometry();
    if (!normal.isValid())
        normal = window->geometry();
    // The frame's top-left is where move() puts the window back.
    QPoint topLeft = window->isMaximized() || window->isMinimized() ? normal.topLeft() : window->pos();
    QString state = window->isMaximized() ? QStringLiteral("maximized")
                    : window->isMinimized() ? QStringLiteral("minimized")
                                            : QStringLiteral("normal");
    settings.setValue(key, QStringLiteral("%1,%2,%3,%4,%5")
                               .arg(topLeft.x())
                               .arg(topLeft.y())
                               .arg(normal.width())
                               .arg(normal.height())
                               .arg(state));
}

int SplitterPosition(const QSplitter* splitter)
{
    QList<int> sizes = splitter->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

void SetSplitterPosition(QSplitter* splitter, int position)
{
    if (splitter->count() < 2)
        return;
    int total = 0;
    for (int size : splitter->sizes())
        total += size;
    if (total <= 0)
        total = (splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height()) -
                splitter->handleWidth();
    position = std::clamp(position, 0, std::max(0, total));
    splitter->setSizes({position, std::max(0, total - position)});
}

void RestoreSplitterPosition(QSplitter* splitter, QSettings& settings, const QString& key, int firstRun)
{
    bool ok = false;
    int position = settings.value(key).toInt(&ok);
    SetSplitterPosition(splitter, ok && position >= 0 ? position : firstRun);
}

void SaveSplitterPosition(const QSplitter* splitter, QSettings& settings, const QString& key)
{
    settings.setValue(key, SplitterPosition(splitter));
}
