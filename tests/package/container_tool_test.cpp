// The ambitone-tool container commands on the built program.
#include "container_fixtures.h"

#include <cstdlib>

namespace {

using TToolTest = TContainerTest;

int RunTool(const std::string& arguments, const std::string& out, const std::string& err)
{
    const std::string command = std::string("'") + AMBITONE_TOOL_PATH + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Text(const std::string& path)
{
    const std::vector<uint8_t> b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

TEST_F(TToolTest, PackInfoUnpack)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 3000);
    const std::string in = Path("in.raw"), packed = Path("packed.aacs"), chunked = Path("chunked.aacs"),
                      back = Path("back.raw"), out = Path("out.txt"), err = Path("err.txt");
    WriteFileBytes(in, content);
    ASSERT_EQ(RunTool("container-pack '" + in + "' '" + packed + "' --gap 4", out, err), 0) << Text(err);
    ASSERT_EQ(RunTool("container-pack '" + in + "' '" + chunked + "' --gap 4 --chunk 260", out, err), 0) << Text(err);
    EXPECT_EQ(ReadFileBytes(chunked), ReadFileBytes(packed));
    WriteContainer(Path("api.aacs"), content, 2, "", m_clock, 0, 4);
    EXPECT_EQ(ReadFileBytes(Path("api.aacs")), ReadFileBytes(packed));

    ASSERT_EQ(RunTool("container-info '" + packed + "'", out, err), 0) << Text(err);
    const std::string info = Text(out);
    for (const char* line : {"BlockSize=1048576\n", "CheckCrc=0x00000000\n", "BlockCount=2\n", "FormatVersion=0x400147AE\n",
                             "CompressionLevel=2\n", "Encrypted=0\n", "GapSize=4\n", "Size=1051576\n",
                             "Block0=Offset=132 ", "UnpackedSize=3000 "})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;

    ASSERT_EQ(RunTool("container-unpack '" + packed + "' '" + back + "'", out, err), 0) << Text(err);
    EXPECT_EQ(ReadFileBytes(back), content);
    // A plain file passes through.
    ASSERT_EQ(RunTool("container-unpack '" + in + "' '" + back + "'", out, err), 0) << Text(err);
    EXPECT_EQ(ReadFileBytes(back), content);
}

TEST_F(TToolTest, PasswordAndFailures)
{
    const std::vector<uint8_t> content = WaveLikeBytes(7000);
    const std::string in = Path("in.raw"), packed = Path("packed.aacs"), back = Path("back.raw"), out = Path("out.txt"),
                      err = Path("err.txt");
    WriteFileBytes(in, content);
    ASSERT_EQ(RunTool("container-pack '" + in + "' '" + packed + "' --password Quorlentix --level 5", out, err), 0);
    ASSERT_EQ(RunTool("container-unpack '" + packed + "' '" + back + "' --password Quorlentix", out, err), 0) << Text(err);
    EXPECT_EQ(ReadFileBytes(back), content);
    EXPECT_EQ(RunTool("container-unpack '" + packed + "' '" + back + "' --password nope", out, err), 1);
    EXPECT_EQ(Text(err), "TPackStream.LoadHeaders - invalid password.\n");
    EXPECT_EQ(RunTool("container-info '" + packed + "'", out, err), 1);
    EXPECT_EQ(Text(err), "TPackStream.LoadHeaders - no password specified.\n");
    EXPECT_EQ(RunTool("container-pack '" + in + "' '" + Path("x.aacs") + "' --level 3", out, err), 1);
    EXPECT_EQ(Text(err), "TPackStream.Create - compression level 3 cannot be written.\n");
    EXPECT_EQ(RunTool("container-pack '" + in + "' --level", out, err), 1);
    EXPECT_NE(Text(err).find("Usage: ambitone-tool container-pack"), std::string::npos);
}

} // namespace
