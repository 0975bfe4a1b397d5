#include "catalog/catalog_panel.h"

#include "catalog/catalog_node.h"
#include "catalog/sound_tree.h"
#include "store/library_tables.h"
#include "ui/error_guard.h"
#include "ui/hints.h"
#include "ui/panel_style.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

TCatalogPanel::TCatalogPanel(TLibraryTables& tables, IPrompts& prompts, TSoundServices& sound, QWidget* parent)
    : QWidget(parent), m_tables(tables), m_prompts(prompts), m_sound(sound)
{
    setObjectName("LibraryPane");
    setAttribute(Qt::WA_StyledBackground, true);
    auto* layout = Column(this);
    layout->addWidget(PaneHeader(QStringLiteral("Sound Sample Library"), this));
    SoundTree = new TSoundTree(this);
    SoundTree->setObjectName("SoundTree");
    SoundTree->setHeaderHidden(true);
    SoundTree->setProperty("helpContext", 100);
    SoundTree->setContextMenuPolicy(Qt::CustomContextMenu);
    SetHint(SoundTree, QStringLiteral("|Choose the sound from the library that you want in your ambitone."));
    SoundTree->setAccessibleName(QStringLiteral("Sound Sample Library"));
    layout->addWidget(SoundTree, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(4, 2, 4, 2);
    chkPlaySample = new QCheckBox(QStringLiteral("Autoplay samples"), this);
    chkPlaySample->setObjectName("chkPlaySample");
    SetHint(chkPlaySample,
            QStringLiteral("|Automatically play selections from the sample library when they receive focus."));
    lblRecordCount = new QLabel(this);
    lblRecordCount->setObjectName("lblRecordCount");
    lblRecordCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bottom->addWidget(chkPlaySample);
    bottom->addStretch(1);
    bottom->addWidget(lblRecordCount);
    layout->addLayout(bottom);

    ScrollTimer = new QTimer(this);
    ScrollTimer->setObjectName("ScrollTimer");
    ScrollTimer->setInterval(10);
    ConnectSoundTree();
}

TCatalogPanel::~TCatalogPanel()
{
    // Nothing a dying tree reports may reach the tables.
    DisconnectSoundTree();
}

int TCatalogPanel::SoundTreeGetImageIndex(const QTreeWidgetItem* node)
{
    return CatalogImageIndex(node);
}

int TCatalogPanel::SelectedImageIndex() const
{
    QTreeWidgetItem* node = SoundTree->SelectedNode();
    return node ? CatalogImageIndex(node) : 0;
}

bool TCatalogPanel::SampleSelected() const
{
    return SelectedImageIndex() == 2;
}

bool TCatalogPanel::CategorySelected() const
{
    const int image = SelectedImageIndex();
    return image == 3 || image == 4;
}

bool TCatalogPanel::SubCategoryAllowed() const
{
    // Under a category, or beside a sample filed in one; never under
    // "Unfiled".
    QTreeWidgetItem* node = SoundTree->SelectedNode();
    if (!CatalogNodeData(node))
        return false;
    return IsCategoryNode(node) || IsCategoryNode(node->parent());
}

TBookmark TCatalogPanel::SelectedSampleBookmark() const
{
    const TCatalogNodeData* nodeData = CatalogNodeData(SoundTree->SelectedNode());
    return nodeData && !nodeData->IsCategory ? nodeData->Bookmark : TBookmark{};
}

void TCatalogPanel::ShowSampleName(TBookmark sound, const QString& name)
{
    for (QTreeWidgetItemIterator it(SoundTree); *it; ++it) {
        const TCatalogNodeData* nodeData = CatalogNodeData(*it);
        if (nodeData && !nodeData->IsCategory && nodeData->Bookmark == sound) {
            (*it)->setText(0, name);
            return;
        }
    }
}

void TCatalogPanel::FinishEdit()
{
    SoundTree->FinishEdit();
}

void TCatalogPanel::ConnectSoundTree()
{
    // Every hook runs behind the guard; one that answers says no when it
    // fails.
    SoundTree->OnEditing = [this](QTreeWidgetItem* node) {
        bool editable = false;
        Guarded(&m_prompts, [&] { editable = SoundTreeEditing(node); });
        return editable;
    };
    SoundTree->OnEdited = [this](QTreeWidgetItem* node, const QString& text) {
        Guarded(&m_prompts, [&] { SoundTreeEdited(node, text); });
    };
    SoundTree->OnStartDrag = [this] { Guarded(&m_prompts, [this] { SoundTreeStartDrag(); }); };
    SoundTree->OnDragOver = [this](QTreeWidgetItem* target, int y) {
        bool accepted = false;
        Guarded(&m_prompts, [&] { accepted = SoundTreeDragOver(target, y); });
        return accepted;
    };
    SoundTree->OnDragDrop = [this](QTreeWidgetItem* target) {
        Guarded(&m_prompts, [&] { SoundTreeDragDrop(target); });
    };
    SoundTree->OnEndDrag = [this] { Guarded(&m_prompts, [this] { SoundTreeEndDrag(); }); };
    SoundTree->OnFilesDropped = [this](const QStringList& paths) {
        Guarded(&m_prompts, [&] { FMDropFMDragDrop(paths); });
    };
    connect(SoundTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        Guarded(&m_prompts, [&] { SoundTreeChange(current); });
    });
    connect(ScrollTimer, &QTimer::timeout, this, [this] { Guarded(&m_prompts, [this] { ScrollTimerTimer(); }); });
    lblRecordCount->setText(QStringLiteral("Record Count"));
    auto count = [this](TTable& table) { tblSoundsAfterOpen(table); };
    m_tables.tblSounds->AfterOpen = count;
    m_tables.tblSounds->AfterPost = count;
    m_tables.tblSounds->AfterDelete = count;
}

void TCatalogPanel::DisconnectSoundTree()
{
    if (!SoundTree)
        return;
    SoundTree->ClearHooks();
    SoundTree->disconnect(this);
    m_tables.tblSounds->AfterOpen = m_tables.tblSounds->AfterPost = m_tables.tblSounds->AfterDelete = nullptr;
}

