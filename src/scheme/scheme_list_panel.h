#pragma once
// The scheme list ("Titles"): opening, creating, renaming and deleting
// schemes. It owns which scheme is open (OpenSchemeIndex); the scheme panel
// builds and writes back the open scheme's rows when asked. While a scheme
// is open, the list selection, OpenSchemeIndex and the Schemes cursor all
// name the same scheme.

#include "store/table.h"

#include <QWidget>

class IPrompts;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class TLibraryTables;

class TSchemeListPanel : public QWidget {
    Q_OBJECT

public:
    TSchemeListPanel(TLibraryTables& tables, IPrompts& prompts, QWidget* parent = nullptr);
    ~TSchemeListPanel() override;

    QListWidget* SchemeList = nullptr;
    QLineEdit* TitleEdit = nullptr;

    // The scheme whose rows are loaded; -1 for none.
    int OpenSchemeIndex() const { return m_openSchemeIndex; }
    int SelectedSchemeIndex() const;
    bool SchemeListCheck() const;
    // The Schemes row of the selected title; none without a selection.
    TBookmark SelectedSchemeBookmark() const;
    static TBookmark ItemBookmark(const QListWidgetItem* item);
    bool RenameInProgress() const { return m_renaming; }

    // One title per Schemes row, in record order.
    void FillFromTable();
    // The selected title's text; empty without a selection.
    QString SelectedSchemeTitle() const;
    // An imported scheme joins the list at its end and opens, selected.
    void AddImportedScheme(TBookmark scheme, const QString& title);

    void NewSchemeExecute();
    void RenameSchemeExecute();
    void DeleteSchemeExecute();
    void SchemeListClick();
    void SchemeListKeyPress(QKeyEvent* event);
    void TitleEditExit();
    void TitleEditKeyPress(QKeyEvent* event);
    void tblSchemesNewRecord(TTable& table);

signals:
    // The open scheme's rows are to be written back, or the selected one's
    // built (LoadScheme and UnloadScheme of the scheme panel).
    void UnloadRequested();
    void LoadRequested();
    // Another scheme is opening: its playback stops first.
    void SchemeChanging();
    // The open scheme's title, shown over its rows.
    void TitleChanged(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The list's selection moved: a list box keeps its selection, and a new
    // one opens its scheme.
    void SelectionChanged();

    TLibraryTables& m_tables;
    IPrompts& m_prompts;
    int m_openSchemeIndex = -1;
    bool m_renaming = false;
    bool m_programSelection = false; // selection changes made by the panel itself
};
