// Bringing WAV files in: the names kept, the files checked, the order, the
// rows and nodes under "Unfiled", progress and cancelling, files dropped
// from a file manager.
#include "catalog_support.h"

#include "catalog/catalog_error.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

namespace {

class TSampleImportTest : public TCatalogTest {
protected:
    std::vector<uint8_t> StoredImage(QTreeWidgetItem* node)
    {
        Tables().tblSounds->GotoBookmark(CatalogNodeData(node)->Bookmark);
        return Tables().tblSounds->ReadBlob("Sound");
    }
};

} // namespace

TEST_F(TSampleImportTest, FilesArriveUnderUnfiledInTheOrderGivenWithTheirBytes)
{
    Start();
    const auto rain = ToneWave(300, 440), thunder = ToneWave(500, 90);
    Unfiled()->setExpanded(false);
    Catalog().ImportSampleFiles({WriteFile("Rain.wav", rain), WriteFile("THUNDER.WAV", thunder)});

    EXPECT_EQ(Labels(Unfiled()), QStringList({"Rain.wav", "THUNDER.WAV"}));
    EXPECT_TRUE(Unfiled()->isExpanded());
    EXPECT_EQ(StoredImage(Unfiled()->child(0)), rain);
    EXPECT_EQ(StoredImage(Unfiled()->child(1)), thunder);
    EXPECT_EQ(Tables().tblSoundsCategory->AsInteger(), -1);
    const TCatalogNodeData* data = CatalogNodeData(Unfiled()->child(1));
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->IsCategory);
    EXPECT_EQ(data->RecordNo, Tables().tblSoundsRecordNo->AsInteger());
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "2 samples");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The same file again is another sample of the same name.
    Catalog().ImportSampleFiles({TempPath("Rain.wav")});
    EXPECT_EQ(Labels(Unfiled()), QStringList({"Rain.wav", "THUNDER.WAV", "Rain.wav"}));
    EXPECT_TRUE(Unfiled()->isExpanded());

    CloseAndDestroy();
    Start();
    EXPECT_EQ(Labels(Unfiled()), QStringList({"Rain.wav", "THUNDER.WAV", "Rain.wav"}));
}

TEST_F(TSampleImportTest, OtherNamesAreSkippedSilentlyAndUnplayableWavesAreNamedOnce)
{
    Start();
    const QStringList paths{WriteText("notes.txt", "hello"),     WriteFile("clip.wave", ToneWave(100)),
                            WriteFile("noextension", ToneWave(100)), WriteText("broken.wav", "not a wave"),
                            WriteFile("clip.Wav", ToneWave(100)),  WriteFile("empty.wav", {}),
                            WriteFile("ok.wav", ToneWave(120))};
    Catalog().ImportSampleFiles(paths);
    EXPECT_EQ(Labels(Unfiled()), QStringList({"clip.Wav", "ok.wav"}));
    EXPECT_EQ(SoundRows(), 2);
    const QStringList messages = Prompts.Texts("message");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("broken.wav: Error reading wave file"));
    EXPECT_TRUE(messages[0].contains("empty.wav: Error reading wave file"));
    EXPECT_FALSE(messages[0].contains("notes.txt"));
    EXPECT_FALSE(messages[0].contains("clip.wave"));
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
}

TEST_F(TSampleImportTest, AFileThatCannotBeReadStopsTheImportThereLeavingNoRow)
{
    Start();
    const QStringList paths{WriteFile("first.wav", ToneWave(100)), WriteText("bad.wav", "junk"),
                            TempPath("missing.wav"), WriteFile("after.wav", ToneWave(100))};
    EXPECT_THROW(Catalog().ImportSampleFiles(paths), ECatalogError);
    EXPECT_EQ(Labels(Unfiled()), QStringList{"first.wav"});
    EXPECT_EQ(SoundRows(), 1);
    EXPECT_FALSE(Tables().tblSounds->IsEditing());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // What was rejected before the stop is still reported.
    ASSERT_EQ(Prompts.Texts("message").size(), 1);
    EXPECT_TRUE(Prompts.Texts("message")[0].contains("bad.wav"));

    // Through the window's error guard the message reaches the user.
    Prompts.Clear();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(TempPath("missing.wav"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &drop);
    ASSERT_EQ(Prompts.Texts("error").size(), 1);
    EXPECT_TRUE(Prompts.Texts("error")[0].startsWith("Cannot open file " + TempPath("missing.wav")));
}

TEST_F(TSampleImportTest, ProgressCanBeCancelledBetweenFilesAndTheFilesDoneStay)
{
    Start();
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths << WriteFile(QString("n%1.wav").arg(i), ToneWave(100 + i));
    Prompts.CancelProgressAfter(2);
    Catalog().ImportSampleFiles(paths);
    EXPECT_EQ(Labels(Unfiled()), QStringList({"n0.wav", "n1.wav"}));
    EXPECT_EQ(Prompts.Texts("progress"), QStringList{"Importing samples 5"});
    const QStringList steps = Prompts.Texts("step");
    ASSERT_GE(steps.size(), 3);
    EXPECT_EQ(steps[0], "0 Importing n0.wav (1 of 5)");
    EXPECT_EQ(steps[1], "1 Importing n1.wav (2 of 5)");
    EXPECT_EQ(SoundRows(), 2);
}

TEST_F(TSampleImportTest, FilesDroppedAnywhereOnTheTreeLandUnderUnfiled)
{
    Start();
    QTreeWidgetItem* category = NewCategory("Weather");
    const QPoint onCategory = Tree()->visualItemRect(category).center();

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(WriteFile("wind.wav", ToneWave(100))),
                  QUrl::fromLocalFile(WriteText("readme.txt", "x")),
                  QUrl::fromLocalFile(WriteFile("hail.WAV", ToneWave(100))),
                  QUrl(QStringLiteral("https://example.invalid/remote.wav"))});
    QDragEnterEvent enter(onCategory, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(onCategory), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &drop);

    EXPECT_EQ(Labels(Unfiled()), QStringList({"wind.wav", "hail.WAV"}));
    EXPECT_EQ(category->childCount(), 0);

    // Text that is not a file list is refused.
    QMimeData text;
    text.setText("wind.wav");
    QDragEnterEvent refused(onCategory, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}
