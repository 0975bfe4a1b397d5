#include "ui/panel_style.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// Black panels with lime text, in the window's one font.
const char* const kStyle = R"(
QWidget#AmbitonePage, QWidget#MusicPage, QWidget#TitlesPane, QWidget#PropGroup,
QWidget#LibraryPane, QWidget#FreqPage, QWidget#LocationPage, QWidget#LoopRow,
QWidget#ToolBar, QWidget#HidePanel, QWidget#LocationGraphArea, QWidget#FreqRows,
QWidget#LocationRows {
    background: black; color: lime;
}
QLabel { color: lime; background: transparent; }
QLabel#lblAmbitoneTitle { color: red; font-weight: bold; font-size: 10pt; }
QLabel[paneHeader="true"] {
    color: lime; font-weight: bold; padding: 3px 6px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2a2a2a, stop:1 #101010);
    border-bottom: 1px solid #1f5f1f;
}
QListWidget, QTreeWidget, QTableWidget, QScrollArea {
    background: black; color: lime; border: 1px solid #1f5f1f;
    selection-background-color: #006000; selection-color: white;
}
QLineEdit#TitleEdit { background: white; color: black; border: 1px solid lime; }
QCheckBox { color: lime; background: transparent; }
QCheckBox::indicator { width: 11px; height: 11px; border: 1px solid #3f9f3f; background: black; }
QCheckBox::indicator:checked { background: lime; border-color: lime; }

QSplitter::handle { background: #202020; }
QTabBar::tab { background: #101010; color: lime; padding: 3px 12px; border: 1px solid #1f5f1f; }
QTabBar::tab:selected { background: #004000; }
QToolButton { color: lime; background: #101010; border: 1px solid #1f5f1f; padding: 2px; }
QToolButton:checked { background: #006000; }
QToolButton:disabled, QLabel:disabled, QCheckBox:disabled { color: #2f6f2f; }
QStatusBar { background: black; color: lime; }
)";

} // namespace

const char* WindowStyleSheet()
{
    return kStyle;
}

void UseWindowFont(QWidget* window)
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    window->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
}

// The transport's own glyphs, lime like the rest of the panel.
QIcon TransportIcon(bool play)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 255, 0));
    if (play)
        painter.drawPolygon(QPolygon({QPoint(5, 3), QPoint(17, 10), QPoint(5, 17)}));
    else
        painter.drawRect(QRect(5, 5, 10, 10));
    painter.end();
    QIcon icon(pixmap);
    QPixmap dim = pixmap;
    QPainter dimmer(&dim);
    dimmer.setCompositionMode(QPainter::CompositionMode_SourceIn);
    dimmer.fillRect(dim.rect(), QColor(0x2f, 0x6f, 0x2f));
    dimmer.end();
    icon.addPixmap(dim, QIcon::Disabled);
    return icon;
}

QLabel* PaneHeader(const QString& text, QWidget* parent)
{
    auto* header = new QLabel(text, parent);
    header->setProperty("paneHeader", true);
    return header;
}

QWidget* BlackPanel(const char* name, QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_StyledBackground, true);
    return panel;
}

QVBoxLayout* Column(QWidget* owner, int margin, int spacing)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}


QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 128.0, size / 128.0);
        p.setPen(QPen(QColor(0x3f, 0x9f, 0x3f), 6));
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(6, 14, 116, 100), 16, 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x10, 0x30, 0x10));
        p.drawRoundedRect(QRectF(14, 22, 100, 84), 10, 10);
        p.setPen(QPen(QColor(0, 255, 0), 10, Qt::SolidLine, Qt::RoundCap));
        const int bars[][3] = {{28, 52, 76}, {42, 34, 94}, {56, 44, 84}, {70, 28, 100}, {84, 48, 80}, {98, 40, 88}};
        for (const auto& bar : bars)
            p.drawLine(QPointF(bar[0], bar[1]), QPointF(bar[0], bar[2]));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
