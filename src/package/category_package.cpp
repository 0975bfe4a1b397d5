#include "package/category_package.h"

#include "package/package_fields.h"

#include <cstring>

using namespace PackageFields;

namespace {

[[noreturn]] void Refuse(const std::string& message) { throw EPackageFormatError("Category package: " + message); }

struct TOpenCategory {
    int Index;
    int32_t ChildrenLeft;
};

} // namespace

void EncodeCategoryNode(const std::string& name, int32_t childCount, int32_t blobSize,
                        uint8_t out[CategoryNodeRecordSize])
{
    std::memset(out, 0, CategoryNodeRecordSize);
    WriteShortString(out, name);
    PutI32(out + 252, childCount);
    PutI32(out + 256, blobSize);
}

TCategoryPackage ParseCategoryPackage(std::span<const uint8_t> content)
{
    if (content.size() < 4)
        Refuse("the content is " + std::to_string(content.size()) + " bytes; NodeTotal alone needs 4.");
    TCategoryPackage package;
    package.NodeTotal = GetI32(content.data());
    size_t at = 4;
    // The categories whose children are still to come, innermost last: the
    // tree is walked with this stack rather than by recursion.
    std::vector<TOpenCategory> open;
    do {
        const int index = static_cast<int>(package.Nodes.size());
        const std::string what = "node " + std::to_string(index);
        if (content.size() - at < CategoryNodeRecordSize)
            Refuse(what + " is cut short in its record.");
        const uint8_t* record = content.data() + at;
        at += CategoryNodeRecordSize;

        TCategoryPackageNode node;
        try {
            node.Name = ReadShortString(record);
        } catch (const EPackageFormatError& e) {
            Refuse(what + " NodeName: " + e.Message());
        }
        node.ChildCount = GetI32(record + 252);
        const int32_t blobSize = GetI32(record + 256);
        if (!open.empty()) {
            node.Parent = open.back().Index;
            node.Depth = static_cast<int>(open.size());
            --open.back().ChildrenLeft;
        }
        if (node.Depth > CategoryMaxDepth)
            Refuse(what + " is nested deeper than " + std::to_string(CategoryMaxDepth) + " levels.");
        if (blobSize < -1)
            Refuse(what + " has BlobSize " + std::to_string(blobSize) + ".");
        if (node.ChildCount < 0)
            Refuse(what + " has a negative ChildCount (" + std::to_string(node.ChildCount) + ").");
        node.IsCategory = blobSize == -1;
        if (index == 0 && !node.IsCategory)
            Refuse("the first node is a sample; the exported node must be a category.");
        if (!node.IsCategory) {
            if (node.ChildCount != 0)
                Refuse(what + " is a sample with " + std::to_string(node.ChildCount) + " children.");
            if (uint64_t(blobSize) > content.size() - at)
                Refuse(what + "'s blob of " + std::to_string(blobSize) + " bytes is cut short (" +
                       std::to_string(content.size() - at) + " bytes left).");
            node.Blob = content.subspan(at, static_cast<size_t>(blobSize));
            at += static_cast<size_t>(blobSize);
        } else if (uint64_t(node.ChildCount) * CategoryNodeRecordSize > content.size() - at) {
            Refuse(what + " announces " + std::to_string(node.ChildCount) + " children; the " +
                   std::to_string(content.size() - at) + " bytes left hold fewer records.");
        }
        package.Nodes.push_back(std::move(node));
        if (package.Nodes.back().IsCategory)
            open.push_back({index, package.Nodes.back().ChildCount});
        while (!open.empty() && open.back().ChildrenLeft == 0)
            open.pop_back();
    } while (!open.empty());
    return package;
}

TCategoryPackageWriter::TCategoryPackageWriter(const std::string& path, IClock& clock)
    : m_file(std::make_unique<TPackFileStream>(path, PackModeCreate, PackagePassword, PackageLevel, PackageGap, clock))
{
}

TCategoryPackageWriter::~TCategoryPackageWriter()
{
    // After a successful Close this does nothing; otherwise the unfinished
    // file must not be renamed into place by the stream's own closing.
    if (m_file)
        m_file->Discard();
}

void TCategoryPackageWriter::WriteNodeTotal(int32_t nodeTotal)
{
    if (m_totalWritten)
        Refuse("NodeTotal is written once, before the nodes.");
    uint8_t bytes[4];
    PutI32(bytes, nodeTotal);
    m_file->Write(bytes, sizeof bytes);
    m_totalWritten = true;
}

void TCategoryPackageWriter::WriteNode(const std::string& name, int32_t childCount, bool isCategory,
                                       std::span<const uint8_t> blob)
{
    // Every reader walks the tree by the counts; a node they would refuse or
    // never reach is refused here instead.
    if (!m_totalWritten)
        Refuse("NodeTotal comes before the nodes.");
    if (m_rootWritten && m_childrenLeft.empty())
        Refuse(name + " comes after the exported category's last node.");
    if (!m_rootWritten && !isCategory)
        Refuse("the exported node " + name + " must be a category.");
    if (childCount < 0)
        Refuse(name + " cannot have a negative ChildCount.");
    if (isCategory && !blob.empty())
        Refuse("the category " + name + " cannot have a blob.");
    if (!isCategory && childCount != 0)
        Refuse("the sample " + name + " cannot have children.");
    if (blob.size() > size_t{INT32_MAX})
        Refuse("the blob of " + name + " is too large.");
    if (m_childrenLeft.size() > size_t{CategoryMaxDepth})
        Refuse(name + " is nested deeper than " + std::to_string(CategoryMaxDepth) + " levels.");

    uint8_t record[CategoryNodeRecordSize];
    EncodeCategoryNode(name, childCount, isCategory ? -1 : static_cast<int32_t>(blob.size()), record);
    m_file->Write(record, sizeof record);
    m_file->Write(blob.data(), blob.size());

    m_rootWritten = true;
    if (!m_childrenLeft.empty())
        --m_childrenLeft.back();
    if (isCategory)
        m_childrenLeft.push_back(childCount);
    while (!m_childrenLeft.empty() && m_childrenLeft.back() == 0)
        m_childrenLeft.pop_back();
}

void TCategoryPackageWriter::Close()
{
    if (!m_rootWritten)
        Refuse("no nodes were written.");
    if (!m_childrenLeft.empty())
        Refuse(std::to_string(m_childrenLeft.back()) + " children of an open category were not written.");
    m_file->Close();
}
