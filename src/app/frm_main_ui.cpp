// The panes of the main window: what each region holds and how it looks.
#include "app/frm_main.h"

#include "app/hints.h"
#include "app/widgets/gauge.h"
#include "app/widgets/led_number.h"
#include "app/widgets/mixer_slider.h"
#include "catalog/sound_tree.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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

namespace {

QLabel* PaneHeader(const QString& text, QWidget* parent)
{
    auto* header = new QLabel(text, parent);
    header->setProperty("paneHeader", true);
    return header;
}

QWidget* BlackPanel(const char* name, QWidget* parent = nullptr)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_StyledBackground, true);
    return panel;
}

QVBoxLayout* Column(QWidget* owner, int margin = 0, int spacing = 0)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

void TfrmMain::BuildWindow()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    setFont(font);
    setStyleSheet(kStyle);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    PageControl->setDocumentMode(true);
    AmbitonePage = BlackPanel("AmbitonePage");
    MusicPage = BuildMusicPage();
    PageControl->addTab(AmbitonePage, QStringLiteral("Ambitone"));
    PageControl->addTab(MusicPage, QStringLiteral("Musical Environment"));
    PageControl->setTabVisible(1, false); // nothing shows the music page
    PageControl->tabBar()->hide();        // with one visible page the tab row is noise
    setCentralWidget(PageControl);

    SchemesSplitPanel = new QSplitter(Qt::Horizontal);
    SchemesSplitPanel->setObjectName("SchemesSplitPanel");
    SchemesSplitPanel->setChildrenCollapsible(false);
    SchemesSplitPanel->addWidget(BuildTitlesPane());
    SchemesSplitPanel->addWidget(BuildPropGroup());
    SchemesSplitPanel->setStretchFactor(1, 1);

    MainSpit = new QSplitter(Qt::Horizontal);
    MainSpit->setObjectName("MainSpit");
    MainSpit->setChildrenCollapsible(false);
    MainSpit->addWidget(SchemesSplitPanel);
    MainSpit->addWidget(BuildLibraryPane());
    MainSpit->setStretchFactor(0, 1);

    Column(AmbitonePage)->addWidget(MainSpit);

    PropList = new QListWidget(this);
    PropList->setObjectName("PropList");
    PropList->hide();

    statusBar()->setObjectName("StatusBar1");
    statusBar()->setSizeGripEnabled(true);
}

QWidget* TfrmMain::BuildTitlesPane()
{
    TitlesPane = BlackPanel("TitlesPane");
    auto* layout = Column(TitlesPane);
    layout->addWidget(PaneHeader(QStringLiteral("Titles"), TitlesPane));
    SchemeList = new QListWidget(TitlesPane);
    SchemeList->setObjectName("SchemeList");
    SchemeList->setSelectionMode(QAbstractItemView::SingleSelection);
    SchemeList->setUniformItemSizes(true);
    SchemeList->setStyleSheet(QStringLiteral("QListWidget::item { height: 16px; }"));
    SchemeList->setProperty("helpContext", 90);
    SchemeList->setContextMenuPolicy(Qt::CustomContextMenu);
    SetHint(SchemeList, QStringLiteral("|Available ambitones."));
    SchemeList->installEventFilter(this);
    layout->addWidget(SchemeList, 1);
    connect(SchemeList, &QListWidget::itemSelectionChanged, this, [this] {
        if (m_programSelection)
            return;
        // A list box always keeps its selection: a Ctrl+click that would
        // clear it leaves the open scheme selected.
        if (SchemeList->selectedItems().isEmpty() && OpenSchemeIndex >= 0 && OpenSchemeIndex < SchemeList->count()) {
            m_programSelection = true;
            SchemeList->setCurrentRow(OpenSchemeIndex, QItemSelectionModel::ClearAndSelect);
            m_programSelection = false;
            return;
        }
        SchemeListClick();
    });
    connect(SchemeList, &QListWidget::itemDoubleClicked, this, [this] { RenameSchemeExecute(); });

    TitleEdit = new QLineEdit(TitlesPane);
    TitleEdit->setObjectName("TitleEdit");
    TitleEdit->setFrame(false);
    TitleEdit->hide();
    TitleEdit->installEventFilter(this);
    return TitlesPane;
}

QWidget* TfrmMain::BuildPropGroup()
{
    PropGroup = BlackPanel("PropGroup");
    auto* layout = Column(PropGroup, 0, 2);
    lblAmbitoneTitle = new QLabel(PropGroup);
    lblAmbitoneTitle->setObjectName("lblAmbitoneTitle");
    lblAmbitoneTitle->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(lblAmbitoneTitle);

    NoteBook = new QStackedWidget(PropGroup);
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
    FreqScroll = new QScrollArea(FreqPage);
    FreqScroll->setObjectName("FreqScroll");
    FreqScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FreqScroll->setWidgetResizable(true);
    FreqScroll->setWidget(BlackPanel("FreqRows"));
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
    LocationScroll = new QScrollArea(HidePanel);
    LocationScroll->setObjectName("LocationScroll");
    LocationScroll->setFixedWidth(105);
    LocationScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LocationScroll->setWidgetResizable(true);
    LocationScroll->setWidget(BlackPanel("LocationRows"));
    hide->addWidget(LocationScroll);
    hide->addWidget(BlackPanel("LocationGraphArea", HidePanel), 1);
    location->addWidget(HidePanel, 1);

    NoteBook->addWidget(FreqPage);
    NoteBook->addWidget(LocationPage);
    layout->addWidget(NoteBook, 1);

    TabSet = new QTabBar(PropGroup);
    TabSet->setObjectName("TabSet");
    TabSet->setShape(QTabBar::RoundedSouth);
    TabSet->addTab(QStringLiteral("Frequency"));
    TabSet->addTab(QStringLiteral("Location"));
    connect(TabSet, &QTabBar::currentChanged, NoteBook, &QStackedWidget::setCurrentIndex);
    layout->addWidget(TabSet);

    layout->addWidget(BuildLoopRow());
    layout->addWidget(BuildToolBar());
    return PropGroup;
}

QWidget* TfrmMain::BuildLoopRow()
{
    // Two lines, so that the scheme pane stays narrow: the loop counters
    // above, the progress of the loop beside the play time below.
    QWidget* row = BlackPanel("LoopRow");
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(3);

    auto led = [row](const char* name, int digits) {
        auto* display = new TLedNumber(row);
        display->setObjectName(name);
        display->SetDigits(digits);
        return display;
    };
    auto label = [row](const char* text) {
        auto* caption = new QLabel(QString::fromLatin1(text), row);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return caption;
    };
    auto arrow = [row](const char* name, Qt::ArrowType type, int tag) {
        auto* button = new QToolButton(row);
        button->setObjectName(name);
        button->setArrowType(type);
        button->setFixedSize(16, 10);
        button->setAutoRepeat(true); // the click repeats while held down
        button->setProperty("tag", tag);
        return button;
    };

    LoopCount = led("LoopCount", 3);
    lblLoopLength = led("lblLoopLength", 3);
    PlayTime = led("PlayTime", 5);
    UpButton = arrow("UpButton", Qt::UpArrow, 1);
    DownButton = arrow("DownButton", Qt::DownArrow, 2);
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
    ProgressGauge->setMinimumWidth(40);
    grid->addWidget(ProgressGauge, 1, 0);
    grid->addWidget(label("Play time: "), 1, 1);
    grid->addWidget(PlayTime, 1, 2);
    grid->setColumnStretch(0, 1);
    return row;
}

QWidget* TfrmMain::BuildToolBar()
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

QWidget* TfrmMain::BuildLibraryPane()
{
    QWidget* pane = BlackPanel("LibraryPane");
    auto* layout = Column(pane);
    layout->addWidget(PaneHeader(QStringLiteral("Sound Sample Library"), pane));
    SoundTree = new TSoundTree(pane);
    SoundTree->setObjectName("SoundTree");
    SoundTree->setHeaderHidden(true);
    SoundTree->setProperty("helpContext", 100);
    SoundTree->setContextMenuPolicy(Qt::CustomContextMenu);
    SetHint(SoundTree, QStringLiteral("|Choose the sound from the library that you want in your ambitone."));
    layout->addWidget(SoundTree, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(4, 2, 4, 2);
    chkPlaySample = new QCheckBox(QStringLiteral("Autoplay samples"), pane);
    chkPlaySample->setObjectName("chkPlaySample");
    SetHint(chkPlaySample,
            QStringLiteral("|Automatically play selections from the sample library when they receive focus."));
    lblRecordCount = new QLabel(pane);
    lblRecordCount->setObjectName("lblRecordCount");
    lblRecordCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bottom->addWidget(chkPlaySample);
    bottom->addStretch(1);
    bottom->addWidget(lblRecordCount);
    layout->addLayout(bottom);
    return pane;
}

QWidget* TfrmMain::BuildMusicPage()
{
    QWidget* page = BlackPanel("MusicPage");
    MusicSplitPanel = new QSplitter(Qt::Horizontal, page);
    MusicSplitPanel->setObjectName("MusicSplitPanel");
    PlayList = new QListWidget;
    PlayList->setObjectName("PlayList");
    PlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    SongGrid = new QTableWidget(0, 2);
    SongGrid->setObjectName("SongGrid");
    SongGrid->setHorizontalHeaderLabels({QStringLiteral("Music"), QStringLiteral("Scheme")});
    SongGrid->verticalHeader()->hide();
    SongGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    SongGrid->installEventFilter(this);
    MusicSplitPanel->addWidget(PlayList);
    MusicSplitPanel->addWidget(SongGrid);
    Column(page)->addWidget(MusicSplitPanel);
    return page;
}
