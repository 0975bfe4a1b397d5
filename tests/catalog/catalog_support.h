#pragma once
// A main window over a fresh data directory, with helpers to put WAV files
// on disk and to reach the catalogue's nodes by their labels.

#include "support/wave_image.h"
#include "support/window_driver.h"

#include "audio/sound_services.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "store/library_tables.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class TCatalogTest : public TWindowTest {
protected:
    // The window shown and exposed, so that label editors can open.
    TfrmMain& Start() { return Show(); }

    TCatalogPanel& Catalog() { return Window->CatalogPanel(); }
    TSoundTree* Tree() { return Ui().Find<TSoundTree>("SoundTree"); }
    QTreeWidgetItem* Unfiled() { return Catalog().UnfiledNode(); }
    TMMDSMixChannel* Preview() { return Window->Sound().SampleChannel(); }

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
    QStringList RootLabels()
    {
        QStringList labels;
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
            labels << Tree()->topLevelItem(i)->text(0);
        return labels;
    }
    // The first node, depth first, with this label.
    QTreeWidgetItem* Find(const QString& label)
    {
        QTreeWidgetItemIterator it(Tree());
        for (; *it; ++it)
            if ((*it)->text(0) == label)
                return *it;
        return nullptr;
    }
    void Select(QTreeWidgetItem* node)
    {
        Tree()->setCurrentItem(node);
        Ui().Update();
    }
    // A category made as the user makes it: New (or New Sub under the
    // selection), then the name typed over "New Category".
    QTreeWidgetItem* NewCategory(const QString& name, QTreeWidgetItem* under = nullptr)
    {
        if (under)
            Select(under);
        EXPECT_TRUE(Ui().Trigger(under ? "NewSubCategory" : "NewCategory"));
        QTreeWidgetItem* node = Tree()->currentItem();
        QLineEdit* editor = LabelEditor();
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
    QLineEdit* LabelEditor()
    {
        for (QLineEdit* editor : Tree()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }
    void Drag(QTreeWidgetItem* node, QTreeWidgetItem* target)
    {
        Select(node);
        Catalog().SoundTreeStartDrag();
        if (Catalog().SoundTreeDragOver(target, 20))
            Catalog().SoundTreeDragDrop(target);
        Catalog().SoundTreeEndDrag();
    }
    int SoundRows() { return Tables().tblSounds->RecordCount(); }
    int CategoryRows() { return Tables().tblCategory->RecordCount(); }
};
