// Scheme and category packages: short strings in Windows-1252, the record
// layouts, the parsers' refusals, reading a package file whole, the writers'
// clean-up, and ambitone-tool package-info.
#include "container_fixtures.h"

#include "package/category_package.h"
#include "package/scheme_package.h"
#include "support/wave_image.h"

#include <climits>
#include <cstdlib>
#include <functional>

namespace {

using TPackageTest = TContainerTest;

std::string Bytes(std::initializer_list<int> b) { return std::string(b.begin(), b.end()); }

TSchemePackageEntry RainEntry(std::span<const uint8_t> image)
{
    TSchemePackageEntry e;
    e.SampleName = "rain.wav";
    e.Freq = 50;
    e.Randomize = true;
    e.CoordX = 1.5f;
    e.CoordY = -2.25f;
    e.CoordZ = 3;
    e.Repeat = 0xBEEF;
    e.RepeatPatten = 0x1234;
    e.Pattern = -7;
    e.PatternSpeed = 9;
    e.ReversePattern = true;
    e.Image = image;
    return e;
}

// A content built from the encoders: the header with EntryCount = entries.
std::vector<uint8_t> SchemeContent(const std::vector<TSchemePackageEntry>& entries)
{
    std::vector<uint8_t> out(SchemePackageHeaderSize);
    EncodeSchemeHeader({"Night", static_cast<int32_t>(entries.size()), 60}, out.data());
    for (const TSchemePackageEntry& e : entries) {
        uint8_t record[SchemePackageEntrySize];
        EncodeSchemeEntry(e, static_cast<int32_t>(e.Image.size()), record);
        out.insert(out.end(), record, record + SchemePackageEntrySize);
        out.insert(out.end(), e.Image.begin(), e.Image.end());
    }
    return out;
}

struct TNode {
    std::string Name;
    int32_t ChildCount;
    int32_t BlobSize; // -1: a category
};

std::vector<uint8_t> CategoryContent(const std::vector<TNode>& nodes, int32_t nodeTotal = 0)
{
    std::vector<uint8_t> out(4);
    SetLe32(out, 0, static_cast<uint32_t>(nodeTotal));
    for (const TNode& n : nodes) {
        uint8_t record[CategoryNodeRecordSize];
        EncodeCategoryNode(n.Name, n.ChildCount, n.BlobSize, record);
        out.insert(out.end(), record, record + CategoryNodeRecordSize);
        out.insert(out.end(), static_cast<size_t>(std::max(n.BlobSize, 0)), uint8_t{0x5A});
    }
    return out;
}

// `depth` categories each inside the one before.
std::vector<TNode> Chain(int depth)
{
    std::vector<TNode> nodes;
    for (int i = 0; i < depth; ++i)
        nodes.push_back({"c", i + 1 < depth ? 1 : 0, -1});
    return nodes;
}

std::string FormatErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EPackageFormatError& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(ShortString, CodePageBothWays)
{
    struct TCase {
        std::string In;
        std::string Stored; // the characters after the length byte
        std::string Back;
    };
    const TCase cases[] = {
        {"rain.wav", "rain.wav", "rain.wav"},
        {"Forêt é ü", Bytes({'F', 'o', 'r', 0xEA, 't', ' ', 0xE9, ' ', 0xFC}), "Forêt é ü"},
        {"5 €", Bytes({'5', ' ', 0x80}), "5 €"},
        {"Ω 😀", "? ?", "? ?"},                       // outside the code page
        {"\u0081\u0080", Bytes({0x81, '?'}), "\u0081?"}, // an undefined byte's control; U+0080 has no byte
        {"a\xFF" "b\xC3", "a?b?", "a?b?"},             // stray and cut sequences
        {"\xC0\xAF\xED\xA0\x80", "?????", "?????"},    // overlong form, surrogate
        {std::string(300, 'x'), std::string(250, 'x'), std::string(250, 'x')},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.In);
        uint8_t field[ShortStringField + 1];
        std::memset(field, 0xCC, sizeof field);
        WriteShortString(field, c.In);
        EXPECT_EQ(field[0], c.Stored.size());
        EXPECT_EQ(std::string(field + 1, field + 1 + field[0]), c.Stored);
        for (size_t i = 1 + field[0]; i < ShortStringField; ++i)
            ASSERT_EQ(field[i], 0) << i;
        EXPECT_EQ(field[ShortStringField], 0xCC);
        EXPECT_EQ(ReadShortString(field), c.Back);
    }
    // Every byte comes back as itself; a few land on their known characters.
    for (int start : {0, 250}) {
        uint8_t field[ShortStringField] = {};
        for (int i = 0; i < 250 && start + i < 256; ++i)
            field[++field[0]] = static_cast<uint8_t>(start + i);
        uint8_t back[ShortStringField];
        WriteShortString(back, ReadShortString(field));
        EXPECT_EQ(std::memcmp(back, field, ShortStringField), 0) << start;
    }
    const uint8_t special[] = {4, 0x80, 0x8D, 0x9F, 0xFF};
    EXPECT_EQ(ReadShortString(special), "\u20AC\u008D\u0178\u00FF");
    const uint8_t tooLong[ShortStringField] = {251};
    EXPECT_THROW(ReadShortString(tooLong), EPackageFormatError);
}

TEST(SchemeLayout, FieldsAtTheirOffsets)
{
    const std::vector<uint8_t> image = {1, 2, 3};
    const std::vector<uint8_t> c = SchemeContent({RainEntry(image)});
    ASSERT_EQ(c.size(), SchemePackageHeaderSize + SchemePackageEntrySize + 3);
    const size_t e = SchemePackageHeaderSize;
    const std::pair<size_t, uint32_t> fields[] = {
        {252, 1}, {256, 60}, {e + 252, 3}, {e + 256, 50}, {e + 260, 1}, {e + 264, 0x3FC00000},
        {e + 268, 0xC0100000}, {e + 272, 0x40400000}, {e + 276, 0xBEEF}, {e + 280, 0x1234}, {e + 284, uint32_t(-7)},
        {e + 288, 9}, {e + 292, 1}};
    for (const auto& [at, value] : fields)
        EXPECT_EQ(Le32(c, at), value) << at;
    for (size_t at : {size_t{6}, size_t{251}, e + 9, e + 251})
        EXPECT_EQ(c[at], 0) << at;
    EXPECT_EQ(std::vector<uint8_t>(c.end() - 3, c.end()), image);
}

TEST(SchemeLayout, ParserRefusesDamage)
{
    const std::vector<uint8_t> image(1000, 7);
    const std::vector<uint8_t> good = SchemeContent({RainEntry(image)});
    const size_t e = SchemePackageHeaderSize;
    struct TCase {
        const char* Name;
        std::function<void(std::vector<uint8_t>&)> Damage;
        std::string Error;
    };
    const TCase cases[] = {
        {"not a package", [](auto& b) { b.resize(10); }, "the header alone needs 260"},
        {"cut in the record", [](auto& b) { b.resize(SchemePackageHeaderSize + 100); }, "EntryCount 1 needs 296"},
        {"cut in the image", [](auto& b) { b.pop_back(); }, "image of 1000 bytes is cut short (999 bytes left)"},
        {"a second record missing", [](auto& b) { SetLe32(b, 252, 2); }, "entry 1 is cut short in its record"},
        {"negative EntryCount", [](auto& b) { SetLe32(b, 252, uint32_t(-1)); }, "EntryCount is negative"},
        {"huge EntryCount", [](auto& b) { SetLe32(b, 252, INT32_MAX); }, "EntryCount 2147483647 needs"},
        {"negative WaveSize", [&](auto& b) { SetLe32(b, e + 252, uint32_t(-1)); }, "negative WaveSize (-1)"},
        {"huge WaveSize", [&](auto& b) { SetLe32(b, e + 252, INT32_MAX); }, "cut short (1000 bytes left)"},
        {"title length 251", [](auto& b) { b[0] = 251; }, "SchemeTitle: A name's length byte is 251"},
        {"name length 255", [&](auto& b) { b[e] = 255; }, "entry 0 SampleName: A name's length byte is 255"},
    };
    for (const TCase& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.Damage(bytes);
        const std::string error = FormatErrorOf([&] { ParseSchemePackage(bytes); });
        EXPECT_NE(error.find(c.Error), std::string::npos) << c.Name << ": " << error;
    }
    // Bytes after the last image are no damage.
    std::vector<uint8_t> longer = good;
    longer.push_back(9);
    EXPECT_EQ(ParseSchemePackage(longer).Entries.at(0).Image.size(), 1000u);
}

TEST(CategoryLayout, ParserRefusesDamage)
{
    const std::vector<TNode> good = {{"Birds", 1, -1}, {"Owls", 1, -1}, {"hoot.wav", 0, 5}};
    const size_t second = 4 + CategoryNodeRecordSize, third = second + CategoryNodeRecordSize;
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Content;
        std::string Error;
    };
    auto damaged = [&](const std::function<void(std::vector<uint8_t>&)>& damage) {
        std::vector<uint8_t> b = CategoryContent(good);
        damage(b);
        return b;
    };
    const TCase cases[] = {
        {"not a package", {1, 2, 3}, "NodeTotal alone needs 4"},
        {"cut in a record", CategoryContent({{"Birds", 2, -1}, {"Owls", 1, -1}, {"hoot", 0, 5}}),
         "node 3 is cut short in its record"},
        {"cut in a blob", damaged([](auto& b) { b.pop_back(); }), "blob of 5 bytes is cut short (4 bytes left)"},
        {"negative ChildCount", damaged([&](auto& b) { SetLe32(b, second + 252, uint32_t(-1)); }),
         "node 1 has a negative ChildCount"},
        {"huge ChildCount", damaged([](auto& b) { SetLe32(b, 4 + 252, INT32_MAX); }), "announces 2147483647 children"},
        {"BlobSize -2", damaged([&](auto& b) { SetLe32(b, third + 256, uint32_t(-2)); }), "node 2 has BlobSize -2"},
        {"a sample with children", CategoryContent({{"a", 1, -1}, {"s", 1, 0}, {"t", 0, 0}}),
         "node 1 is a sample with 1 children"},
        {"a sample first", CategoryContent({{"s", 0, 0}}), "the first node is a sample"},
        {"name length 251", damaged([&](auto& b) { b[second] = 251; }), "node 1 NodeName: A name's length byte"},
        {"too deep", CategoryContent(Chain(CategoryMaxDepth + 2)), "node 257 is nested deeper than 256"},
        {"deepest allowed", CategoryContent(Chain(CategoryMaxDepth + 1)), "(no error)"},
    };
    for (const TCase& c : cases) {
        const std::string error = FormatErrorOf([&] { ParseCategoryPackage(c.Content); });
        EXPECT_NE(error.find(c.Error), std::string::npos) << c.Name << ": " << error;
    }
}

TEST_F(TPackageTest, SchemeWrittenAndReadBack)
{
    const TBytes wave = ToneWave(2000);
    {
        TSchemePackageWriter w(Path("empty.amx"), m_clock);
        w.WriteHeader({"Calme", 0, 60});
        w.Close();
    }
    const std::vector<uint8_t> empty = ReadPackageContent(Path("empty.amx"), m_clock);
    ASSERT_EQ(empty.size(), SchemePackageHeaderSize);
    EXPECT_EQ(Le32(empty, 252), 0u);
    EXPECT_EQ(ParseSchemePackage(empty).Header.Title, "Calme");

    TSchemePackageEntry silent = RainEntry({});
    silent.SampleName = "Brise d'été";
    {
        TSchemePackageWriter w(Path("two.amx"), m_clock);
        w.WriteHeader({"Nuit", 2, 120});
        w.WriteEntry(RainEntry(wave));
        w.WriteEntry(silent);
        w.Close();
    }
    const std::vector<uint8_t> content = ReadPackageContent(Path("two.amx"), m_clock);
    const TSchemePackage p = ParseSchemePackage(content);
    EXPECT_EQ(p.Header.LoopLength, 120);
    ASSERT_EQ(p.Entries.size(), 2u);
    const TSchemePackageEntry& rain = p.Entries[0];
    EXPECT_EQ(std::tie(rain.SampleName, rain.Freq, rain.Randomize, rain.CoordX, rain.CoordY, rain.CoordZ, rain.Repeat,
                       rain.RepeatPatten, rain.Pattern, rain.PatternSpeed, rain.ReversePattern),
              std::make_tuple("rain.wav", 50, true, 1.5f, -2.25f, 3.0f, uint16_t{0xBEEF}, uint16_t{0x1234}, -7, 9, true));
    EXPECT_TRUE(std::equal(rain.Image.begin(), rain.Image.end(), wave.begin(), wave.end()));
    EXPECT_EQ(p.Entries[1].SampleName, "Brise d'été");
    EXPECT_TRUE(p.Entries[1].Image.empty());
}

TEST_F(TPackageTest, CategoryTreeWrittenAndReadBack)
{
    const std::vector<uint8_t> blob = {1, 2, 3, 4};
    {
        TCategoryPackageWriter w(Path("birds.amc"), m_clock);
        w.WriteNodeTotal(8);
        w.WriteNode("Oiseaux", 2, true);
        for (const char* sub : {"Chouettes", "Mouettes"}) {
            w.WriteNode(sub, 3, true);
            for (int i = 0; i < 3; ++i)
                w.WriteNode(std::string(sub) + std::to_string(i), 0, false,
                            i == 1 ? std::span<const uint8_t>() : std::span<const uint8_t>(blob));
        }
        w.Close();
    }
    const std::vector<uint8_t> content = ReadPackageContent(Path("birds.amc"), m_clock);
    const TCategoryPackage p = ParseCategoryPackage(content);
    EXPECT_EQ(p.NodeTotal, 8);
    ASSERT_EQ(p.Nodes.size(), 9u);
    const int parents[] = {-1, 0, 1, 1, 1, 0, 5, 5, 5};
    const int depths[] = {0, 1, 2, 2, 2, 1, 2, 2, 2};
    for (size_t i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.Nodes[i].Parent, parents[i]);
        EXPECT_EQ(p.Nodes[i].Depth, depths[i]);
        EXPECT_EQ(p.Nodes[i].IsCategory, depths[i] < 2);
        EXPECT_EQ(p.Nodes[i].Blob.size(), depths[i] < 2 || i % 4 == 3 ? 0u : 4u);
    }
    EXPECT_EQ(p.Nodes[7].Name, "Mouettes1");
    EXPECT_EQ(Le32(content, 4 + 252), 2u);
    EXPECT_EQ(Le32(content, 4 + 256), 0xFFFFFFFFu);
}

TEST_F(TPackageTest, ReadPackageContentRefusesWhatTheContainerCannotVouchFor)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 5000);
    const std::string good = Path("good.amx");
    WriteContainer(good, content, PackageLevel, PackagePassword, m_clock);
    EXPECT_EQ(ReadPackageContent(good, m_clock), content);
    const std::vector<uint8_t> file = ReadFileBytes(good);
    const size_t second = Le32(file, PackHeaderSize + 12); // block 1's header

    WriteContainer(Path("other.amx"), content, PackageLevel, "another", m_clock);
    std::vector<uint8_t> flipped = file;
    flipped[PackHeaderSize + PackBlockHeaderSize + 4000] ^= 0x10;
    WriteFileBytes(Path("flipped.amx"), flipped);
    const std::pair<std::string, size_t> damaged[] = {
        {Path("other.amx"), 0}, {Path("flipped.amx"), 0}, {good, 60}, {good, PackHeaderSize},
        {good, second}, {good, second + 8}, {good, file.size() - 1}};
    for (const auto& [path, cut] : damaged) {
        SCOPED_TRACE(path + " cut at " + std::to_string(cut));
        if (cut) {
            WriteFileBytes(path, std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)));
        }
        EXPECT_THROW(ReadPackageContent(path, m_clock), EPackError);
    }
    for (const std::vector<uint8_t>& plain : {std::vector<uint8_t>{}, std::vector<uint8_t>{'A', 'A', 'C'},
                                              std::vector<uint8_t>(content.begin(), content.begin() + 9000)}) {
        WriteFileBytes(Path("plain"), plain);
        EXPECT_EQ(ReadPackageContent(Path("plain"), m_clock), plain);
    }
}

TEST_F(TPackageTest, WritersNotClosedLeaveNothing)
{
    const std::vector<uint8_t> blob(100, 1);
    const std::function<void(const std::string&)> unfinished[] = {
        [&](const std::string& p) { TSchemePackageWriter w(p, m_clock); },
        [&](const std::string& p) {
            TSchemePackageWriter w(p, m_clock);
            w.WriteHeader({"t", 1, 0});
        },
        [&](const std::string& p) { // a count the entries do not meet is refused at Close
            TSchemePackageWriter w(p, m_clock);
            w.WriteHeader({"t", 2, 0});
            w.WriteEntry(RainEntry(blob));
            EXPECT_THROW(w.Close(), EPackageFormatError);
        },
        [&](const std::string& p) {
            TCategoryPackageWriter w(p, m_clock);
            w.WriteNodeTotal(2);
            w.WriteNode("c", 2, true);
            w.WriteNode("s", 0, false, blob);
            EXPECT_THROW(w.Close(), EPackageFormatError);
        },
    };
    for (size_t i = 0; i < std::size(unfinished); ++i) {
        unfinished[i](Path("out.amx"));
        EXPECT_TRUE(std::filesystem::is_empty(m_dir)) << i;
    }
}

TEST_F(TPackageTest, ToolPackageInfo)
{
    auto run = [&](const std::string& file, std::string& out, std::string& err) {
        const std::string command = std::string("'") + AMBITONE_TOOL_PATH + "' package-info '" + file + "' >'" +
                                    Path("out") + "' 2>'" + Path("err") + "'";
        const int status = std::system(command.c_str());
        const std::vector<uint8_t> o = ReadFileBytes(Path("out")), e = ReadFileBytes(Path("err"));
        out.assign(o.begin(), o.end());
        err.assign(e.begin(), e.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    {
        TSchemePackageWriter w(Path("s.amx"), m_clock);
        w.WriteHeader({"Nuit", 1, 60});
        w.WriteEntry(RainEntry(std::vector<uint8_t>(44144)));
        w.Close();
        TCategoryPackageWriter c(Path("b.AMC"), m_clock);
        c.WriteNodeTotal(1);
        c.WriteNode("Birds", 1, true);
        c.WriteNode("hoot", 0, false);
        c.Close();
    }
    WriteFileBytes(Path("bad.amx"), std::vector<uint8_t>(10, 1));
    std::string out, err;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"s.amx", {"Container=1\n", "Encrypted=1\n", "Kind=scheme\n", "SchemeTitle=Nuit\n", "EntryCount=1\n",
                   "Entry=0 SampleName=rain.wav WaveSize=44144 Freq=50 Randomize=1 CoordX=1.5 CoordY=-2.25 CoordZ=3 "
                   "Repeat=48879 RepeatPatten=4660 Pattern=-7 PatternSpeed=9 ReversePattern=1\n"}},
        {"b.AMC", {"Kind=category\n", "NodeTotal=1\n", "Node=0 Depth=0 NodeName=Birds ChildCount=1 BlobSize=-1\n",
                   "Node=1 Depth=1 NodeName=hoot ChildCount=0 BlobSize=0\n"}},
    };
    for (const auto& [file, lines] : cases) {
        ASSERT_EQ(run(Path(file), out, err), 0) << err;
        for (const std::string& line : lines)
            EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_EQ(run(Path("bad.amx"), out, err), 1);
    EXPECT_EQ(out, "Container=0\nSize=10\nKind=scheme\n");
    EXPECT_NE(err.find("the header alone needs 260"), std::string::npos) << err;
}

} // namespace
