// Opening a scheme and writing it back. The rows of a scheme (its samples
// with their channels and controls) are built and written back here too once
// the row objects exist; a scheme without rows needs only the Schemes cursor,
// the SchemeData filter and the loop length.
#include "app/frm_main.h"

#include "app/widgets/led_number.h"

#include <QApplication>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// Hides the row containers and shows the hourglass for as long as a load
// runs, and puts everything back however the load ends.
class TLoadingView {
public:
    explicit TLoadingView(TfrmMain& form) : m_form(form)
    {
        m_form.FreqScroll->hide();
        m_form.HidePanel->hide();
        m_form.FreqScroll->verticalScrollBar()->setEnabled(false);
        m_form.LocationScroll->verticalScrollBar()->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TLoadingView()
    {
        m_form.HidePanel->show();
        m_form.FreqScroll->show();
        m_form.FreqScroll->verticalScrollBar()->setEnabled(true);
        m_form.LocationScroll->verticalScrollBar()->setEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    TLoadingView(const TLoadingView&) = delete;
    TLoadingView& operator=(const TLoadingView&) = delete;

private:
    TfrmMain& m_form;
};

} // namespace

void TfrmMain::LoadScheme()
{
    int selected = SelectedSchemeIndex();
    if (selected < 0)
        return;
    TLoadingView view(*this);
    UnloadScheme();
    tblSchemes->GotoBookmark(ItemBookmark(SchemeList->item(selected)));
    tblData->SetFilter("SchemeNo = " + std::to_string(tblSchemesRecordNo->AsInteger()));
    tblSounds->SetFiltered(true);
    tblSounds->SetFiltered(false);
}

void TfrmMain::UnloadScheme()
{
    if (!tblSchemes->Active())
        return;
    if (!tblSchemes->IsEmpty()) {
        tblSchemes->Edit();
        tblSchemesLoopPeriod->SetAsInteger(lblLoopLength->Value());
        tblSchemes->Post();
    }
    if (tblSounds->Active()) {
        tblSounds->Close();
        tblSounds->Open();
    }
    PropList->clear();
    SelectedRow = -1;
}
