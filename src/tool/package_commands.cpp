// ambitone-tool export-scheme / import-scheme / export-category /
// import-category: the window's package exchange, headless, through the
// same engine code, so that the files are byte for byte the same.
#include "exchange/package_exchange.h"
#include "store/database.h"
#include "store/library_tables.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Defined in container.cpp: a clock whose time moves, for the password wait.
IClock& ToolSteadyClock();

namespace {

bool Usage(const std::vector<std::string>& args, size_t count, const char* usage)
{
    if (args.size() == count)
        return true;
    std::fprintf(stderr, "Usage: ambitone-tool %s\n", usage);
    return false;
}

// The store in dataDir, which must exist: connecting would make an empty one.
void OpenStore(TLibraryTables& tables, const std::string& dataDir)
{
    TDatabase probe;
    probe.SetDirectory(dataDir);
    if (!std::filesystem::is_regular_file(probe.FilePath()))
        throw EAmbitoneError("ambitone-tool: no record store at " + probe.FilePath().string());
    tables.Open(dataDir);
}

} // namespace

int RunExportSchemeCommand(const std::vector<std::string>& args)
{
    if (!Usage(args, 3, "export-scheme DATA_DIR TITLE OUT.amx"))
        return 2;
    TLibraryTables tables;
    OpenStore(tables, args[0]);
    const int32_t schemeNo = FindSchemeByTitle(tables, args[1]);
    if (schemeNo == 0) {
        std::fprintf(stderr, "ambitone-tool: no scheme titled \"%s\"\n", args[1].c_str());
        return 1;
    }
    const TStoredScheme scheme = ReadStoredScheme(tables, schemeNo);
    WriteSchemePackageFile(args[2], scheme.Header, scheme.Entries, {}, ToolSteadyClock());
    std::printf("SchemeNo=%d\nEntryCount=%zu\nLoopLength=%d\n", schemeNo, scheme.Entries.size(),
                scheme.Header.LoopLength);
    return 0;
}

int RunImportSchemeCommand(const std::vector<std::string>& args)
{
    if (!Usage(args, 2, "import-scheme DATA_DIR IN.amx"))
        return 2;
    TLibraryTables tables;
    OpenStore(tables, args[0]);
    try {
        const std::vector<uint8_t> content = ReadPackageContent(args[1], ToolSteadyClock());
        const TSchemePackage package = ParseSchemePackage(content);
        const TImportedScheme imported = ImportSchemeIntoStore(tables, package);
        std::printf("SchemeNo=%d\n", imported.SchemeNo);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "The import file is corrupt, or is not a Ambitone file.\n%s\n", e.what());
        return 1;
    }
    return 0;
}

int RunExportCategoryCommand(const std::vector<std::string>& args)
{
    if (!Usage(args, 3, "export-category DATA_DIR PATH OUT.amc"))
        return 2;
    TLibraryTables tables;
    OpenStore(tables, args[0]);
    const int32_t categoryNo = FindCategoryPath(tables, args[1]);
    if (categoryNo == 0) {
        std::fprintf(stderr, "ambitone-tool: no category \"%s\"\n", args[1].c_str());
        return 1;
    }
    const std::vector<TCategoryExportNode> nodes = ReadStoredCategory(tables, categoryNo);
    WriteCategoryPackageFile(
        args[2], nodes, [&](int32_t soundNo) { return ReadSoundBlob(tables, soundNo); }, {}, ToolSteadyClock());
    std::printf("CategoryNo=%d\nNodeTotal=%zu\n", categoryNo, nodes.size() - 1);
    return 0;
}

int RunImportCategoryCommand(const std::vector<std::string>& args)
{
    if (!Usage(args, 2, "import-category DATA_DIR IN.amc"))
        return 2;
    TLibraryTables tables;
    OpenStore(tables, args[0]);
    try {
        const std::vector<uint8_t> content = ReadPackageContent(args[1], ToolSteadyClock());
        const TCategoryPackage package = ParseCategoryPackage(content);
        const TImportedCategory imported = ImportCategoryIntoStore(tables, package);
        std::printf("CategoryNo=%d\n", imported.RecordNos.front());
    } catch (const std::exception& e) {
        std::fprintf(stderr,
                     "The file you are attempting to import has been corrupted, or is \r\nnot a Ambitone category "
                     "file.\n%s\n",
                     e.what());
        return 1;
    }
    return 0;
}
