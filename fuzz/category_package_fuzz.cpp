// links: ambitone_package
// Parses arbitrary bytes as the content of a category package; what parses
// is encoded again and must parse back to the same tree.
#include "package/category_package.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

bool SameNode(const TCategoryPackageNode& a, const TCategoryPackageNode& b)
{
    return a.Name == b.Name && a.IsCategory == b.IsCategory && a.ChildCount == b.ChildCount &&
           a.Parent == b.Parent && a.Depth == b.Depth &&
           std::equal(a.Blob.begin(), a.Blob.end(), b.Blob.begin(), b.Blob.end());
}

std::vector<uint8_t> Encode(const TCategoryPackage& p)
{
    std::vector<uint8_t> out(4);
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(p.NodeTotal) >> (8 * i));
    for (const TCategoryPackageNode& n : p.Nodes) {
        uint8_t record[CategoryNodeRecordSize];
        EncodeCategoryNode(n.Name, n.ChildCount, n.IsCategory ? -1 : static_cast<int32_t>(n.Blob.size()), record);
        out.insert(out.end(), record, record + CategoryNodeRecordSize);
        out.insert(out.end(), n.Blob.begin(), n.Blob.end());
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TCategoryPackage first;
    try {
        first = ParseCategoryPackage({data, size});
    } catch (const EPackageFormatError&) {
        // Damaged input is expected to raise; crashes and leaks are the faults.
        return 0;
    }
    // Parents come before their children, one level up.
    for (size_t i = 1; i < first.Nodes.size(); ++i) {
        const int parent = first.Nodes[i].Parent;
        if (parent < 0 || static_cast<size_t>(parent) >= i || !first.Nodes[static_cast<size_t>(parent)].IsCategory ||
            first.Nodes[i].Depth != first.Nodes[static_cast<size_t>(parent)].Depth + 1 ||
            first.Nodes[i].Depth > CategoryMaxDepth)
            std::abort();
    }
    const std::vector<uint8_t> encoded = Encode(first);
    const TCategoryPackage second = ParseCategoryPackage(encoded);
    if (second.NodeTotal != first.NodeTotal || second.Nodes.size() != first.Nodes.size())
        std::abort();
    for (size_t i = 0; i < first.Nodes.size(); ++i)
        if (!SameNode(first.Nodes[i], second.Nodes[i]))
            std::abort();
    return 0;
}
