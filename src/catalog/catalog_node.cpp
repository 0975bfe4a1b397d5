#include "catalog/catalog_node.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

TCatalogNode::TCatalogNode(const QString& label, std::optional<TCatalogNodeData> data) : QTreeWidgetItem(NodeType)
{
    setText(0, label);
    SetData(data);
}

void TCatalogNode::SetData(std::optional<TCatalogNodeData> data)
{
    m_data = data;
    // Every node with data may be renamed and dropped on; "Unfiled" may not
    // be renamed.
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
    if (m_data)
        flags |= Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
    setFlags(flags);
}

QVariant TCatalogNode::data(int column, int role) const
{
    if (column == 0) {
        if (role == NodeDataRole)
            return m_data ? QVariant::fromValue<qlonglong>(m_data->RecordNo) : QVariant();
        if (role == NodeImageRole)
            return CatalogImageIndex(this);
        if (role == Qt::DecorationRole)
            return CatalogIcon(CatalogImageIndex(this));
    }
    return QTreeWidgetItem::data(column, role);
}

namespace {

constexpr int kIconSize = 16;

QPixmap Canvas()
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A sample: a short lime waveform on a dark key, so it reads as sound
// against the black tree.
QPixmap SampleIcon()
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x3f, 0x9f, 0x3f), 1));
    p.setBrush(QColor(0x10, 0x30, 0x10));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
    p.setPen(QPen(QColor(0, 255, 0), 1.4, Qt::SolidLine, Qt::RoundCap));
    const std::array<double, 6> heights{2, 5, 3.5, 6, 2.5, 4};
    for (size_t i = 0; i < heights.size(); ++i) {
        double x = 3.5 + 1.8 * static_cast<double>(i);
        p.drawLine(QPointF(x, 8 - heights[i] / 2), QPointF(x, 8 + heights[i] / 2));
    }
    return pixmap;
}

// A folder in amber; open, its front flap drops forward.
QPixmap FolderIcon(bool open)
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor edge(0x8a, 0x5a, 0x00), back(0xc8, 0x8c, 0x10), front(0xf0, 0xb8, 0x30);
    p.setPen(QPen(edge, 1));
    QPainterPath tabbed;
    tabbed.moveTo(1.5, 3.5);
    tabbed.lineTo(6, 3.5);
    tabbed.lineTo(7.5, 5);
    tabbed.lineTo(14.5, 5);
    tabbed.lineTo(14.5, 13.5);
    tabbed.lineTo(1.5, 13.5);
    tabbed.closeSubpath();
    p.setBrush(back);
    p.drawPath(tabbed);
    p.setBrush(front);
    if (open) {
        QPolygonF flap({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13, 13.5), QPointF(1.5, 13.5)});
        p.drawPolygon(flap);
    } else {
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
    }
    return pixmap;
}

// "Unfiled": a grey tray, neither folder nor sound.
QPixmap UnfiledIcon()
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    p.setBrush(QColor(0xb0, 0xb0, 0xb0));
    QPolygonF tray({QPointF(1.5, 8.5), QPointF(4.5, 4.5), QPointF(11.5, 4.5), QPointF(14.5, 8.5),
                    QPointF(14.5, 13.5), QPointF(1.5, 13.5)});
    p.drawPolygon(tray);
    p.setBrush(QColor(0x60, 0x60, 0x60));
    p.drawRect(QRectF(5.5, 8.5, 5, 2));
    return pixmap;
}

QIcon WithDimmed(const QPixmap& pixmap)
{
    QIcon icon(pixmap);
    // Selected rows keep the colours: the selection is drawn behind.
    icon.addPixmap(pixmap, QIcon::Selected);
    return icon;
}

} // namespace

QIcon CatalogIcon(int imageIndex)
{
    // Made once and kept to the end: pixmaps must not outlive the
    // application object in a static destructor.
    static const auto* icons = new std::array<QIcon, 4>{WithDimmed(SampleIcon()), WithDimmed(FolderIcon(false)),
                                                        WithDimmed(FolderIcon(true)), WithDimmed(UnfiledIcon())};
    if (imageIndex < 2 || imageIndex > 5)
        return {};
    return (*icons)[static_cast<size_t>(imageIndex - 2)];
}

TCatalogNodeData* CatalogNodeData(const QTreeWidgetItem* node)
{
    if (!node || node->type() != TCatalogNode::NodeType)
        return nullptr;
    return const_cast<TCatalogNode*>(static_cast<const TCatalogNode*>(node))->Data();
}

bool IsCategoryNode(const QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    return nodeData && nodeData->IsCategory;
}

bool IsInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    for (; node; node = node->parent())
        if (node == ancestor)
            return true;
    return false;
}

int CatalogImageIndex(const QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    if (!nodeData)
        return 5;
    if (!nodeData->IsCategory)
        return 2;
    return node->isExpanded() ? 4 : 3;
}
