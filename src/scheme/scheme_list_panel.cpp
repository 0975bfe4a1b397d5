#include "scheme/scheme_list_panel.h"

#include "store/edit_scope.h"
#include "store/library_tables.h"
#include "ui/error_guard.h"
#include "ui/hints.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

// Makes list selection changes that the panel itself causes invisible to
// the selection handler.
class TProgramSelection {
public:
    explicit TProgramSelection(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~TProgramSelection() { m_flag = m_old; }
    TProgramSelection(const TProgramSelection&) = delete;
    TProgramSelection& operator=(const TProgramSelection&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

QListWidgetItem* TitleItem(const std::string& name, TBookmark bookmark)
{
    auto* item = new QListWidgetItem(QString::fromStdString(name));
    item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(bookmark.RecordNo));
    return item;
}

} // namespace

TSchemeListPanel::TSchemeListPanel(TLibraryTables& tables, IPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_tables(tables), m_prompts(prompts)
{
    setObjectName("TitlesPane");
    setAttribute(Qt::WA_StyledBackground, true);
    auto* layout = Column(this);
    layout->addWidget(PaneHeader(QStringLiteral("Titles"), this));
    SchemeList = new QListWidget(this);
    SchemeList->setObjectName("SchemeList");
    SchemeList->setAccessibleName(QStringLiteral("Titles"));
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
        Guarded(&m_prompts, [this] { SelectionChanged(); });
    });
    connect(SchemeList, &QListWidget::itemDoubleClicked, this,
            [this] { Guarded(&m_prompts, [this] { RenameSchemeExecute(); }); });

    TitleEdit = new QLineEdit(this);
    TitleEdit->setObjectName("TitleEdit");
    TitleEdit->setAccessibleName(QStringLiteral("Title"));
    TitleEdit->setFrame(false);
    TitleEdit->hide();
    TitleEdit->installEventFilter(this);

    m_tables.tblSchemes->OnNewRecord = [this](TTable& t) { tblSchemesNewRecord(t); };
}

TSchemeListPanel::~TSchemeListPanel()
{
    m_tables.tblSchemes->OnNewRecord = nullptr;
}

void TSchemeListPanel::FillFromTable()
{
    TTable& table = *m_tables.tblSchemes;
    TitleEdit->setFixedHeight(16);
    TitleEdit->setFixedWidth(SchemeList->width());
    for (table.First(); !table.Eof(); table.Next())
        SchemeList->addItem(TitleItem(table.FieldByName("Name").AsString(), table.GetBookmark()));
}

bool TSchemeListPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SchemeList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty())
            Guarded(&m_prompts, [&] { SchemeListKeyPress(key); });
        return false; // the list still acts on the key
    }
    if (watched == TitleEdit) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            Guarded(&m_prompts, [&] { TitleEditKeyPress(key); });
            return key->isAccepted() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        }
        if (event->type() == QEvent::FocusOut)
            Guarded(&m_prompts, [this] { TitleEditExit(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TSchemeListPanel::SelectionChanged()
{
    // A list box always keeps its selection: a Ctrl+click that would
    // clear it leaves the open scheme selected.
    if (SchemeList->selectedItems().isEmpty() && m_openSchemeIndex >= 0 &&
        m_openSchemeIndex < SchemeList->count()) {
        TProgramSelection quiet(m_programSelection);
        SchemeList->setCurrentRow(m_openSchemeIndex, QItemSelectionModel::ClearAndSelect);
        return;
    }
    SchemeListClick();
}

TBookmark TSchemeListPanel::ItemBookmark(const QListWidgetItem* item)
{
    return item ? TBookmark{item->data(Qt::UserRole).toLongLong()} : TBookmark{};
}

int TSchemeListPanel::SelectedSchemeIndex() const
{
    const QList<QListWidgetItem*> selected = SchemeList->selectedItems();
    return selected.isEmpty() ? -1 : SchemeList->row(selected.front());
}

bool TSchemeListPanel::SchemeListCheck() const
{
    return SelectedSchemeIndex() >= 0;
}

TBookmark TSchemeListPanel::SelectedSchemeBookmark() const
{
    const int selected = SelectedSchemeIndex();
    return selected < 0 ? TBookmark{} : ItemBookmark(SchemeList->item(selected));
}

void TSchemeListPanel::SchemeListClick()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0 || selected == m_openSchemeIndex)
        return;
    emit SchemeChanging();
    emit LoadRequested();
    m_openSchemeIndex = selected;
    emit TitleChanged(SchemeList->item(selected)->text());
}

QString TSchemeListPanel::SelectedSchemeTitle() const
{
    const int selected = SelectedSchemeIndex();
    return selected < 0 ? QString() : SchemeList->item(selected)->text();
}

void TSchemeListPanel::AddImportedScheme(TBookmark scheme, const QString& title)
{
    QListWidgetItem* item = TitleItem(title.toStdString(), scheme);
    {
        TProgramSelection quiet(m_programSelection);
        SchemeList->addItem(item);
        SchemeList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    }
    m_openSchemeIndex = SchemeList->row(item);
    emit TitleChanged(title);
    emit LoadRequested();
}

void TSchemeListPanel::SchemeListKeyPress(QKeyEvent* /*event*/)
{
    // Typing reloads the selected scheme before the list acts on the key; if
    // the list then moves its selection, that change opens the new one.
    if (SelectedSchemeIndex() < 0)
        return;
    emit LoadRequested();
}

void TSchemeListPanel::NewSchemeExecute()
{
    emit UnloadRequested();
    TTable& schemes = *m_tables.tblSchemes;
    {
        TEditScope append(schemes, TEditScope::Append);
        m_tables.tblSchemesName->SetAsString("New Ambitone");
        append.Post();
    }

    QListWidgetItem* item = TitleItem(m_tables.tblSchemesName->AsString(), schemes.GetBookmark());
    {
        TProgramSelection quiet(m_programSelection);
        SchemeList->addItem(item);
        SchemeList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    }
    m_openSchemeIndex = SchemeList->row(item);
    m_tables.tblData->SetFilter("SchemeNo = " + std::to_string(m_tables.tblSchemesRecordNo->AsInteger()));
    RenameSchemeExecute();
}

void TSchemeListPanel::RenameSchemeExecute()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0)
        return;
    QListWidgetItem* item = SchemeList->item(selected);
    SchemeList->scrollToItem(item);
    QRect rect = SchemeList->visualItemRect(item);
    QPoint topLeft = SchemeList->viewport()->mapTo(this, rect.topLeft());
    TitleEdit->setFixedSize(SchemeList->width(), 16);
    TitleEdit->move(topLeft);
    TitleEdit->setText(item->text());
    m_renaming = true;
    TitleEdit->show();
    TitleEdit->raise();
    TitleEdit->setFocus(Qt::OtherFocusReason);
    TitleEdit->selectAll();
}

void TSchemeListPanel::TitleEditKeyPress(QKeyEvent* event)
{
    // Enter ends the edit and is swallowed; Esc does not cancel.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        TitleEditExit();
    } else {
        event->ignore();
    }
}

void TSchemeListPanel::TitleEditExit()
{
    if (!m_renaming)
        return;
    m_renaming = false;
    QString text = TitleEdit->text();
    TTable& schemes = *m_tables.tblSchemes;
    if (schemes.Active() && !schemes.IsEmpty() && text.toStdString() != m_tables.tblSchemesName->AsString()) {
        TEditScope edit(schemes, TEditScope::Edit);
        // The field object cuts the stored name to its width; the list and
        // the label show the text as typed.
        m_tables.tblSchemesName->SetAsString(text.toStdString());
        edit.Post();
        if (QListWidgetItem* item = SchemeList->item(SelectedSchemeIndex()))
            item->setText(text);
        emit TitleChanged(text);
    }
    TitleEdit->hide();
}

void TSchemeListPanel::DeleteSchemeExecute()
{
    int selected = SelectedSchemeIndex();
    TTable& schemes = *m_tables.tblSchemes;
    if (selected < 0 || schemes.IsEmpty())
        return;
    QString name = QString::fromStdString(m_tables.tblSchemesName->AsString());
    // Only an explicit Yes deletes: a box closed without an answer is No.
    if (!m_prompts.Confirm(QStringLiteral("Delete ambitone titled \"%1\"?").arg(name)))
        return;
    emit UnloadRequested();
    schemes.Delete();
    {
        TProgramSelection quiet(m_programSelection);
        delete SchemeList->takeItem(selected);
        SchemeList->clearSelection();
        SchemeList->setCurrentRow(-1, QItemSelectionModel::Clear);
    }
    m_openSchemeIndex = -1;
}

void TSchemeListPanel::tblSchemesNewRecord(TTable& table)
{
    table.FieldByName("LoopPeriod").SetAsInteger(60);
}
