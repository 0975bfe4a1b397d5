#pragma once
// The content of a category package (.amc): NodeTotal (int32: the nodes
// under the exported category at all depths, the category not counted),
// then the node records depth first, each parent before its children and
// siblings in tree order. A sample's record is followed by its Sound blob
// (BlobSize bytes); a category's by its ChildCount children.
//
// Node record (260 bytes): NodeName (short string), padding (1), ChildCount
// (int32 at 252), BlobSize (int32 at 256: -1 for a category).

#include "package/package_content.h"
#include "package/pack_stream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

constexpr size_t CategoryNodeRecordSize = 260;
// Deeper nesting than this is refused as damage, so that neither the reader
// nor a tree built from it recurses without bound.
constexpr int CategoryMaxDepth = 256;

void EncodeCategoryNode(const std::string& name, int32_t childCount, int32_t blobSize,
                        uint8_t out[CategoryNodeRecordSize]);

struct TCategoryPackageNode {
    std::string Name;      // UTF-8
    bool IsCategory = true; // BlobSize -1
    int32_t ChildCount = 0;
    int Parent = -1; // index in Nodes of the parent, -1 for the exported category
    int Depth = 0;   // 0 for the exported category
    // A sample's blob: a view into the content.
    std::span<const uint8_t> Blob;
};

struct TCategoryPackage {
    int32_t NodeTotal = 0;
    // Depth first, as in the file; Nodes[0] is the exported category.
    std::vector<TCategoryPackageNode> Nodes;
};

// Reads and checks a whole content before anything is made of it, without
// recursion: every record and blob held in full, BlobSize not below -1, a
// sample with no children, ChildCount not negative and never more children
// than the bytes left can hold, nesting at most CategoryMaxDepth, the first
// record a category. NodeTotal is kept as written (it only sizes progress).
// Raises EPackageFormatError otherwise. Blobs are views into `content`.
TCategoryPackage ParseCategoryPackage(std::span<const uint8_t> content);

// Writes a category package into a new container on `path`; nothing is at
// `path` until Close has succeeded, and a writer freed without Close leaves
// no file.
class TCategoryPackageWriter {
public:
    explicit TCategoryPackageWriter(const std::string& path, IClock& clock = DefaultClock());
    ~TCategoryPackageWriter();
    TCategoryPackageWriter(const TCategoryPackageWriter&) = delete;
    TCategoryPackageWriter& operator=(const TCategoryPackageWriter&) = delete;

    void WriteNodeTotal(int32_t nodeTotal);
    // A category: blob empty and isCategory true (BlobSize -1); a sample:
    // the blob follows the record (childCount 0).
    void WriteNode(const std::string& name, int32_t childCount, bool isCategory, std::span<const uint8_t> blob = {});
    void Close();

private:
    std::unique_ptr<TPackFileStream> m_file;
    bool m_totalWritten = false;
    bool m_rootWritten = false;
    // Per open category, outermost first: the children still to be written.
    std::vector<int32_t> m_childrenLeft;
};
