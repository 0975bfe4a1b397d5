#include "catalog/sound_tree.h"

#include <QSignalBlocker>

#include <QDrag>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>

namespace {

// Asks the window before an editor opens, and lets the label change only
// when the window has stored it.
class TLabelDelegate : public QStyledItemDelegate {
public:
    explicit TLabelDelegate(TSoundTree* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QTreeWidgetItem* node = m_tree->itemFromIndex(index);
        if (!node || (m_tree->OnEditing && !m_tree->OnEditing(node)))
            return nullptr;
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setStyleSheet(QStringLiteral("QLineEdit { background: white; color: black; }"));
        Q_UNUSED(option);
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* node = m_tree->itemFromIndex(index);
        if (!line || !node)
            return;
        if (m_tree->OnEdited)
            m_tree->OnEdited(node, line->text());
        else
            model->setData(index, line->text(), Qt::EditRole);
    }

private:
    TSoundTree* m_tree;
};

bool IsNodeDrag(const QMimeData* mime)
{
    return mime && mime->hasFormat(QString::fromLatin1(TSoundTree::NodeMimeType));
}

} // namespace

TSoundTree::TSoundTree(QWidget* parent) : QTreeWidget(parent)
{
    setItemDelegate(new TLabelDelegate(this));
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    // The window scrolls during a drag with its own timer.
    setAutoScroll(false);
    setUniformRowHeights(true);
}

void TSoundTree::StartEdit(QTreeWidgetItem* node)
{
    if (!node)
        return;
    scrollToItem(node);
    editItem(node, 0);
}

bool TSoundTree::IsEditingLabel() const
{
    return state() == QAbstractItemView::EditingState;
}

void TSoundTree::FinishEdit()
{
    if (!IsEditingLabel())
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TSoundTree::ClearHooks()
{
    OnEditing = {};
    OnEdited = {};
    OnStartDrag = {};
    OnDragOver = {};
    OnDragDrop = {};
    OnEndDrag = {};
    OnFilesDropped = {};
}

void TSoundTree::ScrollLine(bool up)
{
    verticalScrollBar()->triggerAction(up ? QAbstractSlider::SliderSingleStepSub
                                          : QAbstractSlider::SliderSingleStepAdd);
}

QStringList TSoundTree::DroppedFiles(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

QTreeWidgetItem* TSoundTree::NodeAt(const QPoint& position) const
{
    return itemAt(position);
}

void TSoundTree::startDrag(Qt::DropActions supportedActions)
{
    Q_UNUSED(supportedActions);
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    if (OnStartDrag)
        OnStartDrag();
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(NodeMimeType), node->text(0).toUtf8());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QIcon icon = node->icon(0);
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(16, 16));
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    SetDropTarget(nullptr);
    if (OnEndDrag)
        OnEndDrag();
}

void TSoundTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (IsNodeDrag(event->mimeData()) || !DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TSoundTree::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (IsNodeDrag(event->mimeData())) {
        QTreeWidgetItem* target = NodeAt(at);
        bool accept = OnDragOver ? OnDragOver(target, at.y()) : false;
        SetDropTarget(accept ? target : nullptr);
        if (accept)
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    // Where files land does not matter: they all go under "Unfiled".
    if (!DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TSoundTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropTarget(nullptr);
    event->accept();
}

void TSoundTree::SetDropTarget(QTreeWidgetItem* node)
{
    if (node == m_dropTarget)
        return;
    m_dropTarget = node;
    viewport()->update();
}

void TSoundTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_dropTarget && itemFromIndex(index) == m_dropTarget) {
        painter->fillRect(option.rect, QColor(0x00, 0x60, 0x00, 0xa0));
        painter->setPen(QColor(0x00, 0xff, 0x00));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    QTreeWidget::drawRow(painter, option, index);
}

void TSoundTree::dropEvent(QDropEvent* event)
{
    SetDropTarget(nullptr);
    const QPoint at = event->position().toPoint();
    if (IsNodeDrag(event->mimeData())) {
        // The window moves the node itself; the view must not.
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        if (OnDragDrop)
            OnDragDrop(NodeAt(at));
        return;
    }
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (OnFilesDropped)
        OnFilesDropped(files);
}

QTreeWidgetItem* TSoundTree::SelectedNode() const
{
    QTreeWidgetItem* node = currentItem();
    return node && node->isSelected() ? node : nullptr;
}

void TSoundTree::MoveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent)
{
    QSignalBlocker quiet(this);
    const bool wasCurrent = currentItem() == node;
    if (QTreeWidgetItem* oldParent = node->parent())
        oldParent->removeChild(node);
    else
        takeTopLevelItem(indexOfTopLevelItem(node));
    newParent->addChild(node);
    if (wasCurrent)
        setCurrentItem(node);
}
