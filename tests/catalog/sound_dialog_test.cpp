// The Import Sound dialog: which files it lists, what OK hands to the
// import, auditioning on its own channel, and what its going does to the
// mixer.
#include "catalog_support.h"

#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "base/clock.h"
#include "catalog/frm_sound_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <sstream>

namespace {

class TSoundDialogTest : public TCatalogTest {
protected:
    // A folder of its own holding the files named, each a short tone.
    QString Folder(const QString& name, const QStringList& waves)
    {
        const QString folder = TempPath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        int pitch = 300;
        for (const QString& wave : waves)
            WriteFile(name + "/" + wave, ToneWave(2205, pitch += 100)); // 0.1 s each
        return folder;
    }

    // A main window whose loopback device renders on demand and whose
    // mixer polls on a clock moved by hand, so that a play can be run to
    // its end.
    TfrmMain& OpenRendering()
    {
        TMainWindowEnvironment environment = Environment();
        environment.SoundBackend = [this] {
            TLoopbackBackend loopback = CreateOpenAlLoopbackBackend();
            Renderer = loopback.Renderer;
            return std::move(loopback.Backend);
        };
        Window = std::make_unique<TfrmMain>(environment);
        return *Window;
    }

    void Run(int ms)
    {
        std::vector<int16_t> frames(2 * 441);
        for (int t = 0; t < ms; t += 10) {
            Renderer->Render(frames.data(), 441);
            Clock.Advance(10);
        }
    }

    static QWidget* FindByAccessibleName(const QWidget& root, const QString& name)
    {
        for (QWidget* widget : root.findChildren<QWidget*>())
            if (widget->accessibleName() == name)
                return widget;
        return nullptr;
    }
    static QStringList Names(const QListWidget* list)
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    static int Row(const QListWidget* list, const QString& name)
    {
        const auto found = list->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? -1 : list->row(found.first());
    }
    // A click on a file: it becomes the current item, alone selected.
    static void Click(TfrmSoundDialog& dialog, const QString& name)
    {
        dialog.FileList->setCurrentRow(Row(dialog.FileList, name), QItemSelectionModel::ClearAndSelect);
        dialog.UpdateActions();
    }
    static void CtrlClick(TfrmSoundDialog& dialog, const QString& name)
    {
        dialog.FileList->setCurrentRow(Row(dialog.FileList, name), QItemSelectionModel::Select);
        dialog.UpdateActions();
    }

    ILoopbackRenderer* Renderer = nullptr;
};

} // namespace

TEST_F(TSoundDialogTest, LooksLikeAnImportToolWindowCentredOnTheMainWindow)
{
    TfrmMain& form = Open();
    // Placed after its first show, which restores the stored placement,
    // and on the screen, so that nothing pushes the dialog aside.
    form.show();
    form.move(10, 5);
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle(), "Import Sound");
    EXPECT_EQ(dialog.windowType(), Qt::Tool);
    EXPECT_EQ(dialog.size(), QSize(415, 312));
    const QSize least = dialog.layout()->minimumSize();
    EXPECT_LE(least.width(), 415);
    EXPECT_LE(least.height(), 312);
    const QPoint offset = dialog.frameGeometry().center() - form.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    for (const char* name : {"Places", "Folders", "File list", "Play", "Stop", "Volume", "OK", "Cancel"})
        EXPECT_NE(FindByAccessibleName(dialog, name), nullptr) << name;
    EXPECT_EQ(dialog.FileList->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(dialog.PlayButton->defaultAction(), dialog.PlaySound);
    EXPECT_EQ(dialog.StopButton->defaultAction(), dialog.StopSound);
    EXPECT_EQ(dialog.PlaySound->text(), "Play");
    EXPECT_EQ(dialog.StopSound->text(), "Stop");
    EXPECT_TRUE(dialog.PlaySound->isCheckable());
    EXPECT_EQ(dialog.Volume->orientation(), Qt::Horizontal);
    EXPECT_EQ(dialog.Volume->minimum(), 0);
    EXPECT_EQ(dialog.Volume->maximum(), 100);
    EXPECT_EQ(dialog.Volume->value(), 100);
    EXPECT_EQ(dialog.Volume->toolTip(), "Volume");
    EXPECT_TRUE(dialog.OkButton->isDefault());
    // Both panes get their share of the width: nothing squeezed to nothing.
    EXPECT_GE(dialog.Directory->width(), 140);
    EXPECT_GE(dialog.FileList->width(), 180);
}

TEST_F(TSoundDialogTest, ListsOnlyWaveFilesWhateverTheCaseSortedByName)
{
    TfrmMain& form = Open();
    const QString folder = Folder("mixed", {"Rain.wav", "THUNDER.WAV", "clip.Wav", "clip.wave", "wav", ".hidden.wav"});
    WriteText("mixed/notes.txt", "not a sound");
    WriteText("mixed/noext", "not a sound");
    ASSERT_TRUE(QDir().mkpath(folder + "/folder.wav")); // a directory, not a file

    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);
    EXPECT_EQ(dialog.CurrentDirectory(), folder);
    EXPECT_EQ(Names(dialog.FileList), QStringList({"clip.Wav", "Rain.wav", "THUNDER.WAV"}));
    for (int i = 0; i < dialog.FileList->count(); ++i)
        EXPECT_FALSE(dialog.FileList->item(i)->icon().isNull()) << i;
    // A fresh list has no file chosen: nothing to play or import yet.
    EXPECT_EQ(dialog.FileList->currentItem(), nullptr);
    EXPECT_FALSE(dialog.PlaySound->isEnabled());
    EXPECT_FALSE(dialog.StopSound->isEnabled());
    EXPECT_FALSE(dialog.OkButton->isEnabled());

    // Another folder replaces the list; an empty one leaves it empty.
    dialog.SetCurrentDirectory(Folder("empty", {}));
    EXPECT_EQ(dialog.FileList->count(), 0);
}

TEST_F(TSoundDialogTest, TheDirectoryListDrivesTheFileListAndShowsNoHiddenFolders)
{
    TfrmMain& form = Open();
    const QString folder = Folder("tree", {"top.wav"});
    const QString sub = Folder("tree/sub", {"inner.wav", "Second.WAV"});
    Folder("tree/.secret", {"hidden.wav"});

    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);
    auto* model = qobject_cast<QFileSystemModel*>(dialog.Directory->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->filePath(dialog.Directory->currentIndex()), folder);

    // The folders arrive from the model's thread.
    const QModelIndex folderIndex = model->index(folder);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(folderIndex), 1, 5000);
    EXPECT_EQ(model->fileName(model->index(0, 0, folderIndex)), "sub");

    dialog.Directory->setCurrentIndex(model->index(sub));
    EXPECT_EQ(dialog.CurrentDirectory(), sub);
    EXPECT_EQ(Names(dialog.FileList), QStringList({"inner.wav", "Second.WAV"}));
    dialog.Directory->setCurrentIndex(folderIndex);
    EXPECT_EQ(Names(dialog.FileList), QStringList({"top.wav"}));
}

TEST_F(TSoundDialogTest, ThePlaceListHoldsRealFoldersAndMovesTheDirectoryList)
{
    TfrmMain& form = Open();
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    QStringList places;
    for (int i = 0; i < dialog.DriveComboBox1->count(); ++i)
        places << dialog.DriveComboBox1->itemData(i).toString();
    ASSERT_GE(places.size(), 1);
    EXPECT_EQ(places.first(), "/");
    EXPECT_TRUE(places.contains(QDir::homePath()));
    EXPECT_EQ(places.removeDuplicates(), 0);
    for (const QString& place : places) {
        EXPECT_TRUE(QFileInfo(place).isDir()) << place.toStdString();
        for (const char* system : {"/proc", "/sys", "/dev", "/run"})
            EXPECT_FALSE(place == system || place.startsWith(QString(system) + "/")) << place.toStdString();
    }

    // A folder shows the place that holds it; choosing a place goes there.
    const QString folder = Folder("somewhere", {"a.wav"});
    dialog.SetCurrentDirectory(folder);
    const QString shown = dialog.DriveComboBox1->currentData().toString();
    EXPECT_TRUE(shown == "/" || folder.startsWith(shown + "/")) << shown.toStdString();
    const int home = dialog.DriveComboBox1->findData(QDir::homePath());
    emit dialog.DriveComboBox1->activated(home);
    EXPECT_EQ(dialog.CurrentDirectory(), QDir::homePath());
    EXPECT_EQ(dialog.DriveComboBox1->currentIndex(), home);

    // The place is the tree's one top node, its neighbours hidden.
    auto* model = qobject_cast<QFileSystemModel*>(dialog.Directory->model());
    const QModelIndex homeIndex = model->index(QDir::homePath());
    const QModelIndex root = dialog.Directory->rootIndex();
    EXPECT_EQ(homeIndex.parent(), root);
    if (QDir::homePath() != "/") {
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(root) > 1, 5000);
        for (int row = 0; row < model->rowCount(root); ++row)
            EXPECT_EQ(dialog.Directory->isRowHidden(row, root), row != homeIndex.row())
                << model->fileName(model->index(row, 0, root)).toStdString();
    }
}

TEST_F(TSoundDialogTest, OpensInTheFolderLastUsedOrTheNearestOneLeft)
{
    TfrmMain& form = Open();
    const QString folder = Folder("last", {"a.wav"});
    {
        TfrmSoundDialog first(&form, form.Sound().WaveMixer(), Prompts);
        first.SetCurrentDirectory(folder);
    }
    TfrmSoundDialog second(&form, form.Sound().WaveMixer(), Prompts);
    EXPECT_EQ(second.CurrentDirectory(), folder);
    EXPECT_EQ(Names(second.FileList), QStringList({"a.wav"}));
    // A folder that is gone: its nearest ancestor still there.
    second.SetCurrentDirectory(folder + "/gone/deeper");
    EXPECT_EQ(second.CurrentDirectory(), folder);
}

TEST_F(TSoundDialogTest, OkHandsOverTheSelectedFilesInListOrder)
{
    TfrmMain& form = Open();
    const QString folder = Folder("ok", {"a.wav", "B.WAV", "c.wav"});
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);

    // Nothing selected: OK is off, and a click on it changes nothing.
    dialog.OkButtonClick();
    EXPECT_TRUE(dialog.SelectedFiles.isEmpty());
    EXPECT_EQ(dialog.result(), 0);

    Click(dialog, "c.wav");
    CtrlClick(dialog, "a.wav");
    EXPECT_TRUE(dialog.OkButton->isEnabled());
    dialog.OkButtonClick();
    EXPECT_EQ(dialog.SelectedFiles, QStringList({folder + "/a.wav", folder + "/c.wav"}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(TSoundDialogTest, ImportingThroughTheMainWindowFilesTheChosenSamplesUnfiled)
{
    Open();
    const QString folder = Folder("import", {"Rain.wav", "THUNDER.WAV", "clip.Wav"});

    // Cancel first: nothing comes in.
    Prompts.AnswerDialog([&](QDialog& d) {
        auto& dialog = static_cast<TfrmSoundDialog&>(d);
        dialog.SetCurrentDirectory(folder);
        Click(dialog, "Rain.wav");
        dialog.CancelButton->click();
        return dialog.result();
    });
    EXPECT_TRUE(Ui().Trigger("ImportSamples"));
    EXPECT_EQ(Prompts.Texts("dialog"), QStringList({"Import Sound"}));
    EXPECT_EQ(Unfiled()->childCount(), 0);
    EXPECT_EQ(SoundRows(), 0);

    Prompts.AnswerDialog([&](QDialog& d) {
        auto& dialog = static_cast<TfrmSoundDialog&>(d);
        dialog.SetCurrentDirectory(folder);
        Click(dialog, "THUNDER.WAV");
        CtrlClick(dialog, "clip.Wav");
        dialog.OkButtonClick();
        return dialog.result();
    });
    EXPECT_TRUE(Ui().Trigger("ImportSamples"));
    EXPECT_EQ(Labels(Unfiled()), QStringList({"clip.Wav", "THUNDER.WAV"}));
    ASSERT_EQ(SoundRows(), 2);
    QStringList rows;
    for (Tables().tblSounds->First(); !Tables().tblSounds->Eof(); Tables().tblSounds->Next()) {
        rows << QString::fromStdString(Tables().tblSoundsName->AsString());
        EXPECT_EQ(Tables().tblSoundsCategory->AsInteger(), -1);
    }
    EXPECT_EQ(rows, QStringList({"clip.Wav", "THUNDER.WAV"}));
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
}

TEST_F(TSoundDialogTest, AFileTheLoaderRejectsIsReportedAndThePreviousSoundKept)
{
    TfrmMain& form = Open();
    const QString folder = Folder("bad", {"good.wav"});
    WriteText("bad/broken.wav", "RIFF, but not really");
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);
    dialog.show();

    Click(dialog, "good.wav");
    const uint32_t goodBytes = dialog.SampleChannel->Wave().DataBytes();
    EXPECT_EQ(goodBytes, 2205u * 2);
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());

    Click(dialog, "broken.wav");
    EXPECT_EQ(Prompts.Texts("error"), QStringList({"Invalid wave file..."}));
    EXPECT_EQ(dialog.SampleChannel->Wave().DataBytes(), goodBytes);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);

    // A file gone since it was listed: its own message, the dialog goes on.
    QFile::remove(folder + "/good.wav");
    Click(dialog, "good.wav");
    ASSERT_EQ(Prompts.Texts("error").size(), 2);
    EXPECT_TRUE(Prompts.Texts("error").last().startsWith("Cannot open file"))
        << Prompts.Texts("error").last().toStdString();
    EXPECT_EQ(dialog.SampleChannel->Wave().DataBytes(), goodBytes);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(TSoundDialogTest, PlayAndStopFollowTheCurrentFileAndThePlay)
{
    TfrmMain& form = Open();
    const QString folder = Folder("play", {"one.wav", "two.wav"});
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);
    ASSERT_NE(dialog.SampleChannel->Mixer(), nullptr);
    EXPECT_EQ(dialog.SampleChannel->Mixer(), Window->Sound().WaveMixer());
    EXPECT_FALSE(dialog.PlaySound->isEnabled());

    Click(dialog, "one.wav");
    EXPECT_TRUE(dialog.PlaySound->isEnabled());
    EXPECT_FALSE(dialog.StopSound->isEnabled()); // nothing plays yet

    dialog.PlayButton->click();
    EXPECT_TRUE(dialog.PlaySound->isChecked());
    EXPECT_TRUE(dialog.StopSound->isEnabled());
    EXPECT_TRUE(dialog.SampleChannel->IsPlaying());

    // Play again while pressed: the sound starts over, the button stays down.
    dialog.PlayButton->click();
    EXPECT_TRUE(dialog.PlaySound->isChecked());
    EXPECT_TRUE(dialog.SampleChannel->IsPlaying());

    dialog.StopButton->click();
    EXPECT_FALSE(dialog.PlaySound->isChecked());
    EXPECT_FALSE(dialog.StopSound->isEnabled());
    EXPECT_FALSE(dialog.SampleChannel->IsPlaying());

    // A double click plays; another file loaded cuts the play off.
    emit dialog.FileList->itemDoubleClicked(dialog.FileList->currentItem());
    EXPECT_TRUE(dialog.PlaySound->isChecked());
    Click(dialog, "two.wav");
    EXPECT_FALSE(dialog.PlaySound->isChecked());
    EXPECT_FALSE(dialog.SampleChannel->IsPlaying());

    // Leaving the folder stops what plays there.
    dialog.PlaySoundExecute();
    ASSERT_TRUE(dialog.PlaySound->isChecked());
    dialog.SetCurrentDirectory(Folder("elsewhere", {}));
    EXPECT_FALSE(dialog.PlaySound->isChecked());
    EXPECT_FALSE(dialog.SampleChannel->IsPlaying());
    EXPECT_FALSE(dialog.PlaySound->isEnabled());
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
}

TEST_F(TSoundDialogTest, TheEndOfThePlayReleasesPlay)
{
    TfrmMain& form = OpenRendering();
    const QString folder = Folder("end", {"short.wav"}); // 0.1 s
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    dialog.SetCurrentDirectory(folder);
    Click(dialog, "short.wav");
    dialog.PlaySoundExecute();
    ASSERT_TRUE(dialog.PlaySound->isChecked());

    Run(50);
    EXPECT_TRUE(dialog.PlaySound->isChecked());
    int ms = 50;
    for (; ms < 2000 && dialog.PlaySound->isChecked(); ms += 10)
        Run(10);
    EXPECT_FALSE(dialog.PlaySound->isChecked());
    EXPECT_GE(ms, 100);
    EXPECT_LE(ms, 100 + 2 * TMMDSWaveMixer::EndPollMs);
    dialog.UpdateActions();
    EXPECT_FALSE(dialog.StopSound->isEnabled());
    EXPECT_TRUE(dialog.PlaySound->isEnabled());
}

TEST_F(TSoundDialogTest, VolumeMovesTheSoundAlongZKeepingXAndY)
{
    TfrmMain& form = Open();
    TfrmSoundDialog dialog(&form, form.Sound().WaveMixer(), Prompts);
    TMMVector3D& position = dialog.SampleChannel->Sound3D().Position();
    EXPECT_EQ(double(position.Z()), 0.0);
    position.SetX(2);
    position.SetY(-3);

    const std::vector<std::pair<int, double>> cases{{50, 5.0}, {0, 10.0}, {75, 2.5}, {100, 0.0}};
    for (const auto& [slider, z] : cases) {
        dialog.Volume->setValue(slider);
        EXPECT_DOUBLE_EQ(double(position.Z()), z) << slider;
        EXPECT_DOUBLE_EQ(double(position.X()), 2.0) << slider;
        EXPECT_DOUBLE_EQ(double(position.Y()), -3.0) << slider;
    }

    // Also while the channel sounds, when the platform answers for it.
    const QString folder = Folder("volume", {"v.wav"});
    dialog.SetCurrentDirectory(folder);
    Click(dialog, "v.wav");
    dialog.PlaySoundExecute();
    ASSERT_TRUE(dialog.SampleChannel->Sound3D().Attached());
    dialog.Volume->setValue(50);
    EXPECT_NEAR(double(dialog.SampleChannel->Sound3D().Position().Z()), 5.0, 1e-6);
    EXPECT_NEAR(double(dialog.SampleChannel->Sound3D().Position().X()), 2.0, 1e-6);
    EXPECT_EQ(dialog.SampleChannel->Sound3D().MinDistance(), 1.0f);
    EXPECT_EQ(dialog.SampleChannel->Sound3D().MaxDistance(), 1000000000.0f);
    EXPECT_NEAR(double(dialog.SampleChannel->Sound3D().ConeOrientation().Z()), 1.0, 1e-6);
}

TEST_F(TSoundDialogTest, TheDialogsGoingFreesItsChannelAndStopsTheMixer)
{
    TfrmMain& form = Open();
    const QString folder = Folder("going", {"g.wav"});
    {
        const std::vector<uint8_t> image = ToneWave(22050);
        std::istringstream in(std::string(image.begin(), image.end()));
        Preview()->Wave().LoadFromStream(in);
    }
    Preview()->Play();
    ASSERT_TRUE(Preview()->IsPlaying());

    auto dialog = std::make_unique<TfrmSoundDialog>(&form, form.Sound().WaveMixer(), Prompts);
    dialog->SetCurrentDirectory(folder);
    Click(*dialog, "g.wav");
    dialog->PlaySoundExecute();
    TMMDSSoundBuffer* dialogBuffer = &dialog->SampleChannel->SoundBuffer();
    auto listed = [&] {
        for (size_t i = 0; i < Window->Sound().WaveMixer()->BufferCount(); ++i)
            if (Window->Sound().WaveMixer()->Buffer(i) == dialogBuffer)
                return true;
        return false;
    };
    EXPECT_TRUE(listed());
    EXPECT_TRUE(Preview()->IsPlaying());

    dialog.reset();
    EXPECT_FALSE(listed());
    EXPECT_FALSE(Window->Sound().WaveMixer()->IsOpen());
    EXPECT_FALSE(Preview()->IsPlaying());
    // The window's preview plays again: the device opens anew.
    Preview()->Play();
    EXPECT_TRUE(Preview()->IsPlaying());
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
}

TEST_F(TSoundDialogTest, WithoutASoundDeviceFilesAreStillCheckedAndImportedButNothingPlays)
{
    TfrmMain& form = Open();
    const QString folder = Folder("silent", {"quiet.wav"});
    WriteText("silent/broken.wav", "no sound here");
    TfrmSoundDialog dialog(&form, nullptr, Prompts);
    dialog.SetCurrentDirectory(folder);

    Click(dialog, "quiet.wav");
    EXPECT_FALSE(dialog.PlaySound->isEnabled());
    dialog.PlaySoundExecute();
    EXPECT_FALSE(dialog.PlaySound->isChecked());
    Click(dialog, "broken.wav");
    EXPECT_EQ(Prompts.Texts("error"), QStringList({"Invalid wave file..."}));
    dialog.Volume->setValue(0);
    EXPECT_DOUBLE_EQ(double(dialog.SampleChannel->Sound3D().Position().Z()), 10.0);

    Click(dialog, "quiet.wav");
    dialog.OkButtonClick();
    EXPECT_EQ(dialog.SelectedFiles, QStringList({folder + "/quiet.wav"}));
}
