// The ending-pop repair of the sample selected in the tree.
#include "catalog/catalog_panel.h"

#include "audio/ds_channel.h"
#include "audio/sound_services.h"
#include "store/library_tables.h"
#include "ui/frm_fix_pop_dialog.h"
#include "ui/prompts.h"

void TCatalogPanel::FixEndingPopExecute()
{
    const TBookmark sound = SelectedSampleBookmark();
    if (!sound.IsValid())
        return;
    m_tables.tblSounds->GotoBookmark(sound);
    TfrmFixPopDialog dialog(window(), m_sound.RepairChannel(), m_prompts, m_tables.tblSounds->ReadBlob("Sound"));
    if (m_prompts.ExecDialog(dialog) != QDialog::Accepted)
        return;
    m_tables.ReplaceSound(sound, dialog.TrimmedImage);
    // Play Sample plays the repaired sample from now on.
    if (TMMDSMixChannel* preview = m_sound.SampleChannel())
        preview->Wave().LoadFromBytes(m_tables.tblSounds->ReadBlob("Sound"));
}
