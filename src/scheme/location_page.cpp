// The Location page's graph side: the location graph with its two views,
// the mouse readout, "Show patterns in motion" and the Pattern button, and
// what a click on the graph does to the selected row.
#include "scheme/scheme_panel.h"

#include "playback/playback_channel.h"
#include "playback/scheduler.h"
#include "scheme/location_graph.h"
#include "ui/error_guard.h"
#include "ui/hints.h"
#include "ui/panel_style.h"
#include "ui/widgets/drawn_tab_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QToolButton>

QWidget* TSchemePanel::BuildGraphPanel(QWidget* parent)
{
    GraphPanel = BlackPanel("GraphPanel", parent);
    auto* column = Column(GraphPanel, 0, 0);
    Graph = new TLocationGraph(m_clock, GraphPanel);
    Graph->Rows = [this]() -> const std::vector<TPlaybackRow*>& { return Scheduler().Rows(); };
    Graph->SelectedRow = [this] { return m_selectedRow; };
    Graph->FollowChannels = [this] { return chkPattern->isChecked() && Scheduler().PlayButtonDown(); };
    Graph->Playing = [this] { return Scheduler().PlayButtonDown(); };
    Graph->OnMouseMove = [this] { Guarded(&m_prompts, [this] { GraphMouseMove(); }); };
    Graph->OnClick = [this] { Guarded(&m_prompts, [this] { GraphClick(); }); };
    column->addWidget(Graph, 1);

    tsSel = new TDrawnTabBar(GraphPanel);
    tsSel->setObjectName("tsSel");
    tsSel->setAccessibleName(QStringLiteral("Location views"));
    tsSel->addTab(QStringLiteral("Pan & Distance"));
    tsSel->addTab(QStringLiteral("Pan & Elevation"));
    tsSel->OnDrawTab = [this](QPainter& painter, int index, const QRect& rect) {
        tsSelDrawTab(painter, *tsSel, index, rect);
    };
    connect(tsSel, &QTabBar::currentChanged, this, [this](int view) { Graph->SetView(view); });
    column->addWidget(tsSel);

    // Two lines, so that the pane stays as narrow as the Frequency page:
    // the readout and the Pattern button, then the check box.
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(2, 2, 2, 0);
    lblCoords = new QLabel(GraphPanel);
    lblCoords->setObjectName("lblCoords");
    lblCoords->setFixedWidth(63);
    lblCoords->setAlignment(Qt::AlignCenter);
    bar->addWidget(lblCoords);
    bar->addStretch(1);
    PatternButton = new QToolButton(GraphPanel);
    PatternButton->setObjectName("PatternButton");
    PatternButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(PatternButton);
    column->addLayout(bar);
    chkPattern = new QCheckBox(QStringLiteral("Show patterns in motion"), GraphPanel);
    chkPattern->setObjectName("chkPattern");
    SetHint(chkPattern, QStringLiteral("Animate patterns when ambitone is playing"));
    connect(chkPattern, &QCheckBox::clicked, this, [this] { Guarded(&m_prompts, [this] { chkPatternClick(); }); });
    column->addWidget(chkPattern);
    return GraphPanel;
}

void TSchemePanel::GraphMouseMove()
{
    const QLocale locale;
    lblCoords->setText(QStringLiteral("%1,%2").arg(locale.toString(double(Graph->MouseX()), 'f', 2),
                                                   locale.toString(double(Graph->MouseY()), 'f', 2)));
}

void TSchemePanel::GraphClick()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    TPlaybackRow& record = *Scheduler().Rows().at(static_cast<size_t>(m_selectedRow));
    // The channel moves at once: a sample that plays is heard from its new
    // place; the home position is stored when the scheme is left.
    const float x = -Graph->MouseX(), v = Graph->MouseY();
    record.CoordX = x;
    if (record.Channel)
        record.Channel->SetPositionX(x);
    if (Graph->View() == TLocationGraph::PanDistance) {
        record.CoordZ = v;
        if (record.Channel)
            record.Channel->SetPositionZ(v);
    } else {
        record.CoordY = v;
        if (record.Channel)
            record.Channel->SetPositionY(v);
    }
    Graph->update();
}

void TSchemePanel::tsSelDrawTab(QPainter& painter, const QTabBar& tabs, int index, const QRect& rect)
{
    painter.setPen(QColor(0, 255, 0));
    painter.setFont(tabs.font());
    const QFontMetrics metrics = painter.fontMetrics();
    const int top = rect.bottom() / 2 - metrics.height() / 2;
    painter.drawText(rect.left(), top + metrics.ascent(), tabs.tabText(index));
    Graph->update();
}

void TSchemePanel::chkPatternClick()
{
    Graph->update();
}

void TSchemePanel::MotionTicked()
{
    if (chkPattern->isChecked() && TabSet->currentIndex() == 1)
        Graph->update();
}
