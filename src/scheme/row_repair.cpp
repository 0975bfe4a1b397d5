// The ending-pop repair of the selected row's sample: the row plays the
// repaired sample at once; other rows of the same sample at the next load.
#include "scheme/scheme_panel.h"

#include "audio/ds_channel.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/sample_slot.h"
#include "store/library_tables.h"
#include "ui/frm_fix_pop_dialog.h"
#include "ui/prompts.h"

bool TSchemePanel::SampleFixEndingPopUpdate() const
{
    return !PlayButtonDown() && m_selectedRow != -1;
}

void TSchemePanel::SampleFixEndingPopExecute(TMMDSMixChannel* repairChannel)
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    const int row = m_selectedRow;
    const TBookmark sound = Slot(row).SoundBookmark;
    m_tables.tblSounds->GotoBookmark(sound);
    TfrmFixPopDialog dialog(window(), repairChannel, m_prompts, m_tables.tblSounds->ReadBlob("Sound"));
    if (m_prompts.ExecDialog(dialog) != QDialog::Accepted)
        return;
    m_tables.ReplaceSound(sound, dialog.TrimmedImage);
    if (row < RowCount() && Slot(row).SoundBookmark == sound)
        Slot(row).Row->Channel().Wave().LoadFromBytes(m_tables.tblSounds->ReadBlob("Sound"));
}
