#pragma once
// A shown main window with three samples in the library ("rain.wav",
// "wind.wav", "owl.wav") and two schemes, "Alpha" open, and the steps a
// user takes on the rows: using a sample, opening a scheme.
#include "support/wave_image.h"
#include "support/window_driver.h"

#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "scheme/sample_slot.h"
#include "scheme/scheme_panel.h"
#include "store/library_tables.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <cmath>
#include <vector>

class TSchemeRowsTest : public TWindowTest {
protected:
    // A shown window with three samples in the library and two schemes,
    // "Alpha" open.
    void Start()
    {
        Show();
        QStringList paths;
        for (const char* name : {"rain.wav", "wind.wav", "owl.wav"})
            paths << WriteFile(name, ToneWave(2205, 300 + 100 * int(paths.size())));
        Window->CatalogPanel().ImportSampleFiles(paths);
        CreateScheme("Beta");
        CreateScheme("Alpha");
    }
    void CreateScheme(const QString& name)
    {
        ASSERT_TRUE(Ui().Trigger("NewScheme"));
        auto* edit = Ui().Find<QLineEdit>("TitleEdit");
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QString WriteFile(const QString& name, const std::vector<uint8_t>& bytes)
    {
        QFile file(TempPath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return file.fileName();
    }
    // Selects the sample in the tree and places it, as Use Sample does.
    void Use(const QString& sample)
    {
        auto* tree = Ui().Find<TSoundTree>("SoundTree");
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if ((*it)->text(0) == sample)
                tree->setCurrentItem(*it);
        ASSERT_TRUE(Ui().Trigger("UseSample")) << sample.toStdString();
    }
    // Opens a scheme by clicking its title (the open one is written back).
    void Open(const QString& title)
    {
        auto* list = Ui().Find<QListWidget>("SchemeList");
        list->setCurrentItem(list->findItems(title, Qt::MatchExactly).value(0), QItemSelectionModel::ClearAndSelect);
    }
    // Opens the other scheme and comes back, so that the rows go through
    // the store.
    void Reopen(const QString& title, const QString& other = "Beta")
    {
        Open(other);
        Open(title);
    }
    TSchemePanel& Panel() { return Window->SchemePanel(); }
    TSampleSlot& Row(int i) { return Panel().Slot(i); }
    int Rows() { return Panel().RowCount(); }
    // The stored SchemeData rows of the open scheme, in order.
    std::vector<int32_t> Stored(const char* column)
    {
        std::vector<int32_t> values;
        TTable& data = *Tables().tblData;
        for (data.First(); !data.Eof() && !data.IsEmpty(); data.Next())
            values.push_back(data.FieldByName(column).AsInteger());
        return values;
    }
    // A name label as drawn: its background, and the colour of its text
    // (the pixel farthest from the background).
    QColor LabelBackground(int i) { return Row(i).NameLabel->grab().toImage().pixelColor(1, 1); }
    QColor LabelText(int i)
    {
        const QImage image = Row(i).NameLabel->grab().toImage();
        const QColor background = image.pixelColor(1, 1);
        QColor farthest = background;
        int most = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const int distance = std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                                     std::abs(c.blue() - background.blue());
                if (distance > most) {
                    most = distance;
                    farthest = c;
                }
            }
        return farthest;
    }
};

