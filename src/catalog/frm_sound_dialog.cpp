#include "catalog/frm_sound_dialog.h"

#include "app/frm_main.h"
#include "audio/ds_channel.h"

TfrmSoundDialog::TfrmSoundDialog(TfrmMain& owner) : QDialog(&owner)
{
    setWindowTitle(QStringLiteral("Import Sound"));
}

TfrmSoundDialog::~TfrmSoundDialog() = default;
