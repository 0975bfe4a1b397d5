#pragma once
// SoundTree, the catalogue's tree control. It owns no catalogue logic: it
// turns the view's editing and drag-and-drop into calls of the hooks the
// main window sets, and takes files dropped from a file manager.
//
// Contract: user-interface thread only. Hooks are optional; a hook that may
// fail shows its own error and answers false.

#include <QTreeWidget>

#include <functional>

class QMimeData;

class TSoundTree : public QTreeWidget {
    Q_OBJECT

public:
    // The drag of a node inside the tree carries this format; drags from
    // elsewhere are taken only as file lists (text/uri-list).
    static constexpr const char* NodeMimeType = "application/x-ambitone-catalog-node";

    explicit TSoundTree(QWidget* parent = nullptr);

    std::function<bool(QTreeWidgetItem* node)> OnEditing;
    // Stores the new label; the window relabels the node with what it stored.
    std::function<void(QTreeWidgetItem* node, const QString& text)> OnEdited;
    std::function<void()> OnStartDrag;
    // Whether the node under the cursor (or none) takes the drop; y is in
    // client coordinates.
    std::function<bool(QTreeWidgetItem* target, int y)> OnDragOver;
    std::function<void(QTreeWidgetItem* target)> OnDragDrop;
    // After every drag of a node, dropped or not.
    std::function<void()> OnEndDrag;
    // Local files dropped anywhere on the tree, in the order given.
    std::function<void(const QStringList& paths)> OnFilesDropped;

    // Starts editing the node's label, as a slow second click or F2 do.
    void StartEdit(QTreeWidgetItem* node);
    bool IsEditingLabel() const;
    // Ends a label edit under way as leaving the editor does: the text typed
    // is stored.
    void FinishEdit();
    // Drops every hook: the window is going away.
    void ClearHooks();
    // One line of vertical scrolling, as a scroll bar arrow gives.
    void ScrollLine(bool up);
    // The current node when it is selected, else nullptr.
    QTreeWidgetItem* SelectedNode() const;
    // Moves a node to the end of another's children with its label and
    // data, keeping it the current node if it was; the selection signals
    // stay quiet, as no other node was chosen by the user.
    void MoveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent);

    // The file paths of a drop from a file manager; empty when it carries
    // none.
    static QStringList DroppedFiles(const QMimeData* mime);
    QTreeWidgetItem* DropTarget() const { return m_dropTarget; }

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QTreeWidgetItem* NodeAt(const QPoint& position) const;
    void SetDropTarget(QTreeWidgetItem* node);

    // The node a drop would land on, drawn highlighted while a drag is over it.
    QTreeWidgetItem* m_dropTarget = nullptr;
};
