#include "ui/window_settings.h"

#include <QEvent>
#include <QSettings>
#include <QSplitter>
#include <QStringList>
#include <QTimer>
#include <QVariant>
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

namespace {

const char* const kPendingPosition = "pendingPosition";

void ApplyPosition(QSplitter* splitter, int position)
{
    int extent = splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height();
    int total = extent - splitter->handleWidth() * (splitter->count() - 1);
    position = std::clamp(position, 0, std::max(0, total));
    splitter->setSizes({position, std::max(0, total - position)});
}

// A splitter that has never been shown has no real size yet (the music page
// is never shown at all): its position waits until it is laid out.
class TPendingSplitter : public QObject {
public:
    explicit TPendingSplitter(QSplitter* splitter) : QObject(splitter), m_splitter(splitter)
    {
        splitter->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_splitter && event->type() == QEvent::Show)
            ApplyLater(m_splitter);
        return false;
    }

    // Posted layout work runs before the timer, so the splitter has its
    // final size when the position is applied.
    static void ApplyLater(QSplitter* splitter)
    {
        QTimer::singleShot(0, splitter, [splitter] {
            QVariant pending = splitter->property(kPendingPosition);
            if (pending.isValid() && splitter->isVisible()) {
                splitter->setProperty(kPendingPosition, QVariant());
                ApplyPosition(splitter, pending.toInt());
            }
        });
    }

private:
    QSplitter* m_splitter;
};

} // namespace

int SplitterPosition(const QSplitter* splitter)
{
    QVariant pending = splitter->property(kPendingPosition);
    if (pending.isValid())
        return pending.toInt();
    QList<int> sizes = splitter->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

void SetSplitterPosition(QSplitter* splitter, int position)
{
    if (splitter->count() < 2)
        return;
    if (!splitter->isVisible()) {
        DeferSplitterPosition(splitter, position);
        return;
    }
    splitter->setProperty(kPendingPosition, QVariant());
    ApplyPosition(splitter, position);
}

void DeferSplitterPosition(QSplitter* splitter, int position)
{
    splitter->setProperty(kPendingPosition, position);
    if (!splitter->findChild<TPendingSplitter*>(QString(), Qt::FindDirectChildrenOnly))
        new TPendingSplitter(splitter);
    if (splitter->isVisible())
        TPendingSplitter::ApplyLater(splitter);
}

void RestoreSplitterPosition(QSplitter* splitter, QSettings& settings, const QString& key, int firstRun)
{
    bool ok = false;
    int position = settings.value(key).toInt(&ok);
    DeferSplitterPosition(splitter, ok && position >= 0 ? position : firstRun);
}

void SaveSplitterPosition(const QSplitter* splitter, QSettings& settings, const QString& key)
{
    settings.setValue(key, SplitterPosition(splitter));
}
