#pragma once
// A main window over a fresh data directory, with helpers to put WAV files
// on disk and to reach the catalogue's nodes by their labels.

#include "support/main_window_fixture.h"

#include "catalog/catalog_node.h"
#include "catalog/sound_tree.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// A 16-bit mono PCM RIFF WAVE image of a tone; `pitch` tells images apart.
inline std::vector<uint8_t> ToneWave(int frames, int pitch = 440, uint32_t rate = 22050)
{
    std::vector<uint8_t> image;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) image.push_back(uint8_t(v >> (8 * i))); };
    auto put16 = [&](uint16_t v) { image.push_back(uint8_t(v)); image.push_back(uint8_t(v >> 8)); };
    auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) image.push_back(uint8_t(t[i])); };
    const uint32_t dataBytes = uint32_t(frames) * 2;
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(dataBytes);
    for (int i = 0; i < frames; ++i)
        put16(uint16_t(int16_t(8000 * std::sin(2 * M_PI * pitch * i / double(rate)))));
    return image;
}

class TCatalogTest : public TMainWindowFixture {
protected:
    // The window shown and exposed, so that label editors can open.
    TfrmMain& Start()
    {
        TfrmMain& form = Open();
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    QString WriteFile(const QString& name, const std::vector<uint8_t>& bytes)
    {
        const QString path = TempPath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return path;
    }
    QString WriteText(const QString& name, const char* text)
    {
        return WriteFile(name, std::vector<uint8_t>(text, text + std::strlen(text)));
    }

    // The labels of a node's children, in order.
    static QStringList Labels(const QTreeWidgetItem* node)
    {
        QStringList labels;
        for (int i = 0; i < node->childCount(); ++i)
            labels << node->child(i)->text(0);
        return labels;
    }
    static QStringList RootLabels(const TfrmMain& form)
    {
        QStringList labels;
        for (int i = 0; i < form.SoundTree->topLevelItemCount(); ++i)
            labels << form.SoundTree->topLevelItem(i)->text(0);
        return labels;
    }
    // The first node, depth first, with this label.
    static QTreeWidgetItem* Find(const TfrmMain& form, const QString& label)
    {
        QTreeWidgetItemIterator it(form.SoundTree);
        for (; *it; ++it)
            if ((*it)->text(0) == label)
                return *it;
        return nullptr;
    }
    static void Select(TfrmMain& form, QTreeWidgetItem* node)
    {
        form.SoundTree->setCurrentItem(node);
        form.UpdateActions();
    }
    // A category made as the user makes it: New (or New Sub under the
    // selection), then the name typed over "New Category".
    static QTreeWidgetItem* NewCategory(TfrmMain& form, const QString& name, QTreeWidgetItem* under = nullptr)
    {
        if (under)
            Select(form, under);
        form.NewCategoryExecute(under ? 1 : 0);
        QTreeWidgetItem* node = form.SoundTree->currentItem();
        QLineEdit* editor = LabelEditor(form);
        EXPECT_NE(editor, nullptr) << "no label editor open";
        if (editor) {
            editor->setText(name);
            Enter(editor);
        }
        return node;
    }
    // Return in a label editor; the view ends the edit from its event loop.
    static void Enter(QLineEdit* editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    static void Escape(QLineEdit* editor)
    {
        QTest::keyClick(editor, Qt::Key_Escape);
        QCoreApplication::processEvents();
    }
    // The label editor open in the tree; closed ones linger hidden until
    // they are deleted.
    static QLineEdit* LabelEditor(const TfrmMain& form)
    {
        for (QLineEdit* editor : form.SoundTree->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }
    static void Drag(TfrmMain& form, QTreeWidgetItem* node, QTreeWidgetItem* target)
    {
        Select(form, node);
        form.SoundTreeStartDrag();
        if (form.SoundTreeDragOver(target, 20))
            form.SoundTreeDragDrop(target);
        form.SoundTreeEndDrag();
    }
    int SoundRows(TfrmMain& form) { return form.tblSounds->RecordCount(); }
    int CategoryRows(TfrmMain& form) { return form.tblCategory->RecordCount(); }
};
