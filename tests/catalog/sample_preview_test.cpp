// Hearing, deleting and exporting the sample selected in the tree.
#include "catalog_support.h"

#include "audio/ds_channel.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>

namespace {

class TSamplePreviewTest : public TCatalogTest {
protected:
    TfrmMain& Start()
    {
        TfrmMain& form = TCatalogTest::Start();
        Catalog().ImportSampleFiles({WriteFile("short.wav", ToneWave(2205, 300)), WriteFile("long.wav", ToneWave(22050, 500))});
        Short = Find("short.wav");
        Long = Find("long.wav");
        return form;
    }
    uint32_t PreviewBytes() { return Preview()->Wave().DataBytes(); }
    static std::vector<uint8_t> ReadFile(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    QTreeWidgetItem *Short = nullptr, *Long = nullptr;
};

} // namespace

TEST_F(TSamplePreviewTest, WithAutoplayOffSelectingLoadsAndPlaySamplePlaysTheLastOne)
{
    Start();
    ASSERT_FALSE(Ui().Find<QCheckBox>("chkPlaySample")->isChecked());
    Select(Short);
    Select(Long);
    EXPECT_FALSE(Preview()->IsPlaying());
    EXPECT_EQ(PreviewBytes(), 22050u * 2);
    EXPECT_EQ(Tables().tblSoundsName->AsString(), "long.wav");
    // A category selected meanwhile changes nothing in the preview.
    QTreeWidgetItem* category = NewCategory("Cat");
    Select(category);
    EXPECT_EQ(PreviewBytes(), 22050u * 2);
    // The command waits for a sample to be selected; its handler plays what
    // the preview holds.
    EXPECT_FALSE(Ui().Enabled("PlaySample"));
    Catalog().PlaySampleExecute();
    EXPECT_TRUE(Preview()->IsPlaying());
}

TEST_F(TSamplePreviewTest, WithAutoplayOnEverySelectionPlaysIncludingTheOneAfterADeletion)
{
    Start();
    Ui().Find<QCheckBox>("chkPlaySample")->setChecked(true);
    Select(Short);
    EXPECT_TRUE(Preview()->IsPlaying());
    EXPECT_EQ(PreviewBytes(), 2205u * 2);
    Preview()->Stop();

    Prompts.AnswerYes();
    EXPECT_TRUE(Ui().Trigger("DeleteSample")); // the tree moves its selection to long.wav
    EXPECT_EQ(Tree()->currentItem(), Long);
    EXPECT_TRUE(Preview()->IsPlaying());
    EXPECT_EQ(PreviewBytes(), 22050u * 2);
}

TEST_F(TSamplePreviewTest, AStoredImageTheLoaderRejectsIsReportedAndThePreviewKeepsItsSample)
{
    Start();
    Select(Long);
    // A row as an older version could have stored it.
    Tables().tblSounds->GotoBookmark(CatalogNodeData(Short)->Bookmark);
    Tables().tblSounds->Edit();
    Tables().tblSounds->WriteBlob("Sound", std::vector<uint8_t>{'R', 'I', 'F', 'F', 0, 0});
    Tables().tblSounds->Post();

    Select(Short);
    EXPECT_EQ(Prompts.Texts("error"), QStringList{"Error reading wave file"});
    EXPECT_EQ(Tree()->currentItem(), Short);
    EXPECT_EQ(PreviewBytes(), 22050u * 2);
}

TEST_F(TSamplePreviewTest, DeletingAsksRemovesRowAndNodeAndReloadsTheSelectedScheme)
{
    Start();
    Catalog().ImportSampleFiles({WriteFile("third.wav", ToneWave(100))});
    int reloads = 0;
    auto count = Tables().tblSounds->AfterOpen;
    Tables().tblSounds->AfterOpen = [&](TTable& table) {
        ++reloads;
        count(table);
    };

    Select(Short);
    Prompts.AnswerNo();
    EXPECT_TRUE(Ui().Trigger("DeleteSample"));
    EXPECT_EQ(Prompts.Texts("confirm"), QStringList{"Remove 'short.wav' from the sound catalog?"});
    EXPECT_EQ(SoundRows(), 3);

    // No scheme selected: nothing to reload.
    Prompts.AnswerYes();
    EXPECT_TRUE(Ui().Trigger("DeleteSample"));
    EXPECT_EQ(Labels(Unfiled()), QStringList({"long.wav", "third.wav"}));
    EXPECT_EQ(SoundRows(), 2);
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "2 samples");
    EXPECT_EQ(reloads, 0);

    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    Ui().Find<QLineEdit>("TitleEdit")->setText("Rainy");
    QTest::keyClick(Ui().Find<QLineEdit>("TitleEdit"), Qt::Key_Return);
    reloads = 0;
    Select(Long);
    Prompts.AnswerYes();
    EXPECT_TRUE(Ui().Trigger("DeleteSample"));
    EXPECT_EQ(Labels(Unfiled()), QStringList{"third.wav"});
    EXPECT_EQ(reloads, 1); // LoadScheme wrote the scheme back and opened it again
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "1 samples");
}

TEST_F(TSamplePreviewTest, ExportWritesTheStoredImageByteForByte)
{
    Start();
    Select(Long);
    const QString target = TempPath("out/long copy.wav");
    QDir().mkpath(TempPath("out"));
    Prompts.AnswerFile(target);
    EXPECT_TRUE(Ui().Trigger("ExportSample"));

    const auto& save = Prompts.Records().back();
    EXPECT_EQ(save.Kind, "save");
    EXPECT_EQ(save.Options.FileName, "long.wav");
    EXPECT_EQ(save.Options.Filter, "Windows Sound File (*.wav)");
    EXPECT_EQ(save.Options.DefaultSuffix, "wav");
    EXPECT_TRUE(save.Options.OverwritePrompt);
    Tables().tblSounds->GotoBookmark(CatalogNodeData(Long)->Bookmark);
    EXPECT_EQ(ReadFile(target), Tables().tblSounds->ReadBlob("Sound"));

    // Over an existing file: replaced whole, with nothing left beside it.
    Select(Short);
    Prompts.AnswerFile(target);
    EXPECT_TRUE(Ui().Trigger("ExportSample"));
    EXPECT_EQ(ReadFile(target), ToneWave(2205, 300));
    EXPECT_EQ(QDir(TempPath("out")).entryList(QDir::Files), QStringList{"long copy.wav"});

    // Cancelled: nothing written.
    Prompts.AnswerFile(QString());
    EXPECT_TRUE(Ui().Trigger("ExportSample"));
    EXPECT_EQ(ReadFile(target), ToneWave(2205, 300));
}

TEST_F(TSamplePreviewTest, AnExportThatCannotBeWrittenLeavesNoFileAndSaysWhy)
{
    Start();
    Select(Long);
    const QString target = TempPath("no such folder/long.wav");
    Prompts.AnswerFile(target);
    EXPECT_THROW(Catalog().ExportSampleExecute(), std::exception);
    EXPECT_FALSE(QFile::exists(target));

    // From the menu, the error guard shows the message.
    Prompts.AnswerFile(target);
    QMetaObject::invokeMethod(Ui().Action("ExportSample"), &QAction::trigger, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_EQ(Prompts.Texts("error").size(), 1);
    EXPECT_TRUE(Prompts.Texts("error")[0].startsWith("Cannot create file " + target));
}
