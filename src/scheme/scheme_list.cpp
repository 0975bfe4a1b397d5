// The scheme list ("Titles"): opening, creating, renaming and deleting
// schemes, and the Schemes table's events that keep the loop display in step
// with its cursor. While a scheme is open, the list selection,
// OpenSchemeIndex and the Schemes cursor all name the same scheme.
#include "app/frm_main.h"

#include "app/prompts.h"
#include "app/widgets/gauge.h"
#include "app/widgets/led_number.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {

// Makes list selection changes that the window itself causes invisible to
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

} // namespace

TBookmark TfrmMain::ItemBookmark(const QListWidgetItem* item)
{
    return item ? TBookmark{item->data(Qt::UserRole).toLongLong()} : TBookmark{};
}

int TfrmMain::SelectedSchemeIndex() const
{
    const QList<QListWidgetItem*> selected = SchemeList->selectedItems();
    return selected.isEmpty() ? -1 : SchemeList->row(selected.front());
}

bool TfrmMain::SchemeListCheck() const
{
    return SelectedSchemeIndex() >= 0;
}

void TfrmMain::SchemeListClick()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0 || selected == OpenSchemeIndex)
        return;
    PlayTimer->stop();
    PatternTime->stop();
    PlayScheme->setChecked(false);
    LoadScheme();
    OpenSchemeIndex = selected;
    lblAmbitoneTitle->setText(SchemeList->item(selected)->text());
}

void TfrmMain::SchemeListKeyPress(QKeyEvent* /*event*/)
{
    // Typing reloads the selected scheme before the list acts on the key; if
    // the list then moves its selection, that change opens the new one.
    if (SelectedSchemeIndex() < 0)
        return;
    LoadScheme();
}

void TfrmMain::NewSchemeExecute()
{
    UnloadScheme();
    tblSchemes->Append();
    tblSchemesName->SetAsString("New Ambitone");
    tblSchemes->Post();

    auto* item = new QListWidgetItem(QString::fromStdString(tblSchemesName->AsString()));
    item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(tblSchemes->GetBookmark().RecordNo));
    {
        TProgramSelection quiet(m_programSelection);
        SchemeList->addItem(item);
        SchemeList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    }
    OpenSchemeIndex = SchemeList->row(item);
    tblData->SetFilter("SchemeNo = " + std::to_string(tblSchemesRecordNo->AsInteger()));
    RenameSchemeExecute();
}

void TfrmMain::RenameSchemeExecute()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0)
        return;
    QListWidgetItem* item = SchemeList->item(selected);
    SchemeList->scrollToItem(item);
    QRect rect = SchemeList->visualItemRect(item);
    QPoint topLeft = SchemeList->viewport()->mapTo(TitlesPane, rect.topLeft());
    TitleEdit->setFixedSize(SchemeList->width(), 16);
    TitleEdit->move(topLeft);
    TitleEdit->setText(item->text());
    m_renaming = true;
    TitleEdit->show();
    TitleEdit->raise();
    TitleEdit->setFocus(Qt::OtherFocusReason);
    TitleEdit->selectAll();
}

void TfrmMain::TitleEditKeyPress(QKeyEvent* event)
{
    // Enter ends the edit and is swallowed; Esc does not cancel.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        TitleEditExit();
    } else {
        event->ignore();
    }
}

void TfrmMain::TitleEditExit()
{
    if (!m_renaming)
        return;
    m_renaming = false;
    QString text = TitleEdit->text();
    if (tblSchemes->Active() && !tblSchemes->IsEmpty() &&
        text.toStdString() != tblSchemesName->AsString()) {
        tblSchemes->Edit();
        // The field object cuts the stored name to its width; the list and
        // the label show the text as typed.
        tblSchemesName->SetAsString(text.toStdString());
        tblSchemes->Post();
        if (QListWidgetItem* item = SchemeList->item(SelectedSchemeIndex()))
            item->setText(text);
        lblAmbitoneTitle->setText(text);
    }
    TitleEdit->hide();
}

void TfrmMain::DeleteSchemeExecute()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0 || tblSchemes->IsEmpty())
        return;
    QString name = QString::fromStdString(tblSchemesName->AsString());
    // Only an explicit Yes deletes: a box closed without an answer is No.
    if (!Prompts().Confirm(QStringLiteral("Delete ambitone titled \"%1\"?").arg(name)))
        return;
    UnloadScheme();
    tblSchemes->Delete();
    {
        TProgramSelection quiet(m_programSelection);
        delete SchemeList->takeItem(selected);
        SchemeList->clearSelection();
        SchemeList->setCurrentRow(-1, QItemSelectionModel::Clear);
    }
    OpenSchemeIndex = -1;
}

void TfrmMain::tblSchemesNewRecord(TTable& table)
{
    table.FieldByName("LoopPeriod").SetAsInteger(60);
}

void TfrmMain::tblSchemesAfterScroll(TTable& table)
{
    lblLoopLength->SetValue(table.IsEmpty() ? 0 : table.FieldByName("LoopPeriod").AsInteger());
    LoopPosition = 0;
    LoopCount->SetValue(0);
    PlayTime->SetValue(0);
    ProgressGauge->SetProgress(0);
}
