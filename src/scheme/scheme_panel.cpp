#include "scheme/scheme_panel.h"

#include "playback/scheduler.h"
#include "playback/playback_row.h"
#include "playback/scheme_session.h"
#include "scheme/scheme_list_panel.h"
#include "store/library_tables.h"
#include "ui/hints.h"
#include "scheme/location_graph.h"
#include "scheme/sample_slot.h"
#include "ui/error_guard.h"
#include "ui/panel_style.h"
#include "ui/widgets/drawn_tab_bar.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/led_number.h"
#include "ui/widgets/mixer_slider.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

namespace {

QScrollArea* RowsArea(const char* name, const char* rowsName, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setObjectName(name);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->setWidget(BlackPanel(rowsName));
    return area;
}

} // namespace

TSchemePanel::TSchemePanel(TLibraryTables& tables, TSchemeSession& session, const TSchemeListPanel& schemeList,
                           IPrompts& prompts, IClock& clock, QWidget* parent)
    : QWidget(parent), m_tables(tables), m_schemeList(schemeList), m_session(session), m_prompts(prompts),
      m_clock(clock)
{
    setObjectName("PropGroup");
    setAttribute(Qt::WA_StyledBackground, true);
    auto* layout = Column(this, 0, 2);
    lblAmbitoneTitle = new QLabel(this);
    lblAmbitoneTitle->setObjectName("lblAmbitoneTitle");
    lblAmbitoneTitle->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(lblAmbitoneTitle);

    NoteBook = new QStackedWidget(this);
    NoteBook->setObjectName("NoteBook");

    FreqPage = BlackPanel("FreqPage");
    FreqPage->setProperty("helpContext", 130);
    auto* freq = Column(FreqPage, 2, 2);
    freq->addWidget(PaneHeader(QStringLiteral("Frequency of Occurance"), FreqPage));
    auto* ends = new QHBoxLayout;
    ends->setContentsMargins(100, 0, 80, 0);
    ends->addWidget(new QLabel(QStringLiteral("Seldom")));
    ends->addStretch(1);
    ends->addWidget(new QLabel(QStringLiteral("Often")));
    freq->addLayout(ends);
    FreqScroll = RowsArea("FreqScroll", "FreqRows", FreqPage);
    freq->addWidget(FreqScroll, 1);
    chkCounter = new QCheckBox(QStringLiteral("Show samples' timer progress"), FreqPage);
    chkCounter->setObjectName("chkCounter");
    freq->addWidget(chkCounter);

    LocationPage = BlackPanel("LocationPage");
    LocationPage->setProperty("helpContext", 150);
    auto* location = Column(LocationPage, 2, 2);
    location->addWidget(PaneHeader(QStringLiteral("Location"), LocationPage));
    HidePanel = BlackPanel("HidePanel", LocationPage);
    auto* hide = new QHBoxLayout(HidePanel);
    hide->setContentsMargins(0, 0, 0, 0);
    LocationScroll = RowsArea("LocationScroll", "LocationRows", HidePanel);
    LocationScroll->setFixedWidth(105);
    hide->addWidget(LocationScroll);
    hide->addWidget(BuildGraphPanel(HidePanel), 1);
    location->addWidget(HidePanel, 1);

    NoteBook->addWidget(FreqPage);
    NoteBook->addWidget(LocationPage);
    layout->addWidget(NoteBook, 1);

    TabSet = new TDrawnTabBar(this);
    TabSet->setObjectName("TabSet");
    TabSet->setAccessibleName(QStringLiteral("Pages"));
    TabSet->setShape(QTabBar::RoundedSouth);
    TabSet->addTab(QStringLiteral("Frequency"));
    TabSet->addTab(QStringLiteral("Location"));
    TabSet->OnDrawTab = [this](QPainter& painter, int index, const QRect& rect) {
        tsSelDrawTab(painter, *TabSet, index, rect);
    };
    connect(TabSet, &QTabBar::currentChanged, this,
            [this](int page) { Guarded(&m_prompts, [&] { TabSetChange(page); }); });
    layout->addWidget(TabSet);

    layout->addWidget(BuildLoopRow());
    layout->addWidget(BuildToolBar());

    PropList = new QListWidget(this);
    PropList->setObjectName("PropList");
    PropList->hide();
    txtEditName = new QLineEdit(this);
    txtEditName->setObjectName("txtEditName");
    txtEditName->setAccessibleName(QStringLiteral("Sample name"));
    txtEditName->setFrame(false);
    txtEditName->hide();
    txtEditName->installEventFilter(this);

    RowsContainer()->installEventFilter(this);
    for (QWidget* rows : {RowsContainer(), LocationScroll->widget()})
        rows->setStyleSheet(QString::fromLatin1(SampleRowsStyleSheet()));
    for (QToolButton* arrow : {UpButton, DownButton}) {
        const int tag = arrow->property("tag").toInt();
        connect(arrow, &QToolButton::clicked, this,
                [this, tag] { Guarded(&m_prompts, [&] { Scheduler().ChangeLoopLength(tag); }); });
    }
    Scheduler().OnTransportChanged = [this] { ShowTransport(); };
    Scheduler().OnRowChanged = [this](int row) {
        if (row >= 0 && row < RowCount())
            ShowSampleSlot(Slot(row));
    };
    Scheduler().OnMotionTick = [this] { MotionTicked(); };
    // A row that starts to sound shows it on the graph.
    Scheduler().OnEvent = [this](int row, TPlaybackEvent event) {
        if (event != TPlaybackEvent::End)
            Graph->RowFired(row);
    };
    Scheduler().OnRowProgress = [this](int row, int elapsed, int period) {
        if (!chkCounter->isChecked() || row < 0 || row >= RowCount())
            return;
        TFreqSlider* slider = Slot(row).FreqSlider;
        const int width = period > 0 ? int(RoundHalfEven((long double)elapsed / period * slider->width()))
                                     : slider->width();
        slider->SetProgressWidth(width);
    };
    // Unchecked, the bars go; checked, they come with the next tick.
    connect(chkCounter, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            for (int i = 0; i < RowCount(); ++i)
                Slot(i).FreqSlider->SetProgressWidth(0);
    });
    m_tables.tblSchemes->AfterScroll = [this](TTable& t) { tblSchemesAfterScroll(t); };
    // A scheme left hands its samples back to the system once the window
    // has answered the user: the functor holds them until the loop runs it.
    m_session.SetReleaseLater([this](std::shared_ptr<void> samples) {
        QTimer::singleShot(0, this, [samples = std::move(samples)] {});
    });
    ShowTransport();
}

TSchemePanel::~TSchemePanel()
{
    m_tables.tblSchemes->AfterScroll = nullptr;
    Scheduler().OnTransportChanged = nullptr;
    Scheduler().OnRowChanged = nullptr;
    Scheduler().OnRowProgress = nullptr;
    Scheduler().OnMotionTick = nullptr;
    Scheduler().OnEvent = nullptr;
    m_session.SetReleaseLater(nullptr);
    // The rows' controls go before the session's rows they show.
    m_slots.clear();
    m_spareSlots.clear();
}

QWidget* TSchemePanel::BuildLoopRow()
{
    // Two lines, so that the scheme pane stays narrow: the loop counters
    // above, the progress of the loop beside the play time below.
    QWidget* row = BlackPanel("LoopRow");
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(3);

    auto led = [row](const char* name, int digits, const char* accessibleName) {
        auto* display = new TLedNumber(row);
        display->setObjectName(name);
        display->setAccessibleName(QString::fromLatin1(accessibleName));
        display->SetDigits(digits);
        return display;
    };
    auto label = [row](const char* text) {
        auto* caption = new QLabel(QString::fromLatin1(text), row);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return caption;
    };
    auto arrow = [row](const char* name, Qt::ArrowType type, int tag, const char* accessibleName) {
        auto* button = new QToolButton(row);
        button->setObjectName(name);
        button->setAccessibleName(QString::fromLatin1(accessibleName));
        button->setArrowType(type);
        button->setFixedSize(16, 10);
        button->setAutoRepeat(true); // the click repeats while held down
        button->setProperty("tag", tag);
        return button;
    };

    LoopCount = led("LoopCount", 3, "Loop time");
    lblLoopLength = led("lblLoopLength", 3, "Loop length");
    PlayTime = led("PlayTime", 5, "Play time");
    UpButton = arrow("UpButton", Qt::UpArrow, 1, "Longer loop");
    DownButton = arrow("DownButton", Qt::DownArrow, 2, "Shorter loop");
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    arrows->addWidget(UpButton);
    arrows->addWidget(DownButton);

    auto* counters = new QHBoxLayout;
    counters->setSpacing(4);
    counters->addWidget(label("Loop time: "));
    counters->addWidget(LoopCount);
    counters->addSpacing(8);
    counters->addWidget(label("Loop length: "));
    counters->addWidget(lblLoopLength);
    counters->addLayout(arrows);
    counters->addStretch(1);
    grid->addLayout(counters, 0, 0, 1, 3);

    ProgressGauge = new TGauge(row);
    ProgressGauge->setObjectName("ProgressGauge");
    ProgressGauge->setAccessibleName(QStringLiteral("Loop progress"));
    ProgressGauge->setMinimumWidth(40);
    grid->addWidget(ProgressGauge, 1, 0);
    grid->addWidget(label("Play time: "), 1, 1);
    grid->addWidget(PlayTime, 1, 2);
    grid->setColumnStretch(0, 1);
    return row;
}

QWidget* TSchemePanel::BuildToolBar()
{
    QWidget* bar = BlackPanel("ToolBar");
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 4);
    PlaySchemeButton = new QToolButton(bar);
    PlaySchemeButton->setObjectName("PlaySchemeButton");
    PlaySchemeButton->setCheckable(true);
    PlaySchemeButton->setIconSize(QSize(20, 20));
    StopSchemeButton = new QToolButton(bar);
    StopSchemeButton->setObjectName("StopSchemeButton");
    StopSchemeButton->setIconSize(QSize(20, 20));
    layout->addWidget(PlaySchemeButton);
    layout->addWidget(StopSchemeButton);
    layout->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("Volume"), bar));
    MasterVolumeSlider = new TMMMixerSlider(bar);
    MasterVolumeSlider->setObjectName("MasterVolumeSlider");
    MasterVolumeSlider->setFixedWidth(110);
    SetHint(MasterVolumeSlider, QStringLiteral("Main Volume"));
    layout->addWidget(MasterVolumeSlider);
    return bar;
}

void TSchemePanel::BindTransport(QAction* play, QAction* stop)
{
    m_playAction = play;
    PlaySchemeButton->setDefaultAction(play);
    StopSchemeButton->setDefaultAction(stop);
    ShowTransport();
}

void TSchemePanel::BindVolumeControl(TMMMixerControl* control)
{
    MasterVolumeSlider->SetControl(control);
}

TScheduler& TSchemePanel::Scheduler()
{
    return m_session.Scheduler();
}

const TScheduler& TSchemePanel::Scheduler() const
{
    return m_session.Scheduler();
}

int TSchemePanel::LoopPosition() const
{
    return Scheduler().LoopPosition();
}

int TSchemePanel::RowCount() const
{
    return static_cast<int>(m_slots.size());
}

QWidget* TSchemePanel::RowsContainer() const
{
    return FreqScroll->widget();
}

void TSchemePanel::ShowTransport()
{
    const TScheduler& scheduler = Scheduler();
    lblLoopLength->SetValue(scheduler.LoopLength());
    LoopCount->SetValue(scheduler.LoopCount());
    PlayTime->SetValue(scheduler.PlayTime());
    ProgressGauge->SetProgress(scheduler.GaugePercent());
    // The button follows the scheduler when the scheduler moves it (Play,
    // Stop, another scheme), and is left alone otherwise.
    if (m_playAction && scheduler.PlayButtonDown() != m_shownButtonDown)
        m_playAction->setChecked(scheduler.PlayButtonDown());
    m_shownButtonDown = scheduler.PlayButtonDown();
}

bool TSchemePanel::PlayButtonDown() const
{
    return PlaySchemeButton->isChecked();
}

void TSchemePanel::SetTitle(const QString& title) const
{
    lblAmbitoneTitle->setText(title);
}

void TSchemePanel::StopForSchemeChange()
{
    Scheduler().SchemeSelected(Scheduler().LoopLength());
    if (m_playAction)
        m_playAction->setChecked(false);
}

void TSchemePanel::tblSchemesAfterScroll(TTable& table)
{
    Scheduler().ResetLoop(table.IsEmpty() ? 0 : table.FieldByName("LoopPeriod").AsInteger());
}

void TSchemePanel::HideRows()
{
    FreqScroll->hide();
    HidePanel->hide();
}
