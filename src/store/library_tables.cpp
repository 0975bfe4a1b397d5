#include "store/library_tables.h"

#include "store/data_directory.h"
#include "store/edit_scope.h"

TLibraryTables::TLibraryTables()
{
    // The table objects and their settings exist before the store opens,
    // so that whoever uses them can hang events on them first.
    tblSchemes = std::make_unique<TTable>(Database, "Schemes");
    tblData = std::make_unique<TTable>(Database, "SchemeData");
    tblSounds = std::make_unique<TTable>(Database, "SoundCatalog");
    tblCategory = std::make_unique<TTable>(Database, "SoundCategory");
    tblPlayList = std::make_unique<TTable>(Database, "PlayListNames");
    tblSongs = std::make_unique<TTable>(Database, "MusicPlayList");
    tblData->SetFiltered(true);
    tblSongs->SetIndexName("PlayList");
    tblSongs->SetMaster(tblPlayList.get(), "RecordNo", "PlayListNo");
    tblSongs->AddLookupField("SchemeLookup", "SchemeNo", *tblSchemes, "RecordNo", "Name");
}

TLibraryTables::~TLibraryTables() = default;

std::array<TTable*, 6> TLibraryTables::All() const
{
    return {tblSchemes.get(), tblData.get(), tblSounds.get(), tblCategory.get(), tblPlayList.get(), tblSongs.get()};
}

void TLibraryTables::Open(const std::filesystem::path& dataDirectory)
{
    Database.Disconnect();
    Database.SetDirectory(dataDirectory);
    EnsureDirectory(dataDirectory);
    if (!Database.TableExists("Schemes"))
        CreateTables(Database);
    for (TTable* table : All()) {
        table->Open();
        BindFieldObjects();
    }
}

void TLibraryTables::Close()
{
    if (tblSchemes->Active() && tblSchemes->IsEditing())
        tblSchemes->Post();
    for (TTable* table : All())
        table->Close();
}

void TLibraryTables::BindFieldObjects()
{
    auto bind = [](TTable& table, const char* name) -> TField* {
        return table.Active() ? table.FindField(name) : nullptr;
    };
    tblSchemesRecordNo = bind(*tblSchemes, "RecordNo");
    tblSchemesName = bind(*tblSchemes, "Name");
    if (tblSchemesName)
        tblSchemesName->SetDisplayWidth(250);
    tblSchemesLoopPeriod = bind(*tblSchemes, "LoopPeriod");
    tblSchemesVolume = bind(*tblSchemes, "Volume");
    tblDataRecordNo = bind(*tblData, "RecordNo");
    tblDataSchemeNo = bind(*tblData, "SchemeNo");
    tblDataSoundNo = bind(*tblData, "SoundNo");
    tblDataFreq = bind(*tblData, "Freq");
    tblDataRandomize = bind(*tblData, "Randomize");
    tblDataCoordX = bind(*tblData, "CoordX");
    tblDataCoordY = bind(*tblData, "CoordY");
    tblDataCoordZ = bind(*tblData, "CoordZ");
    tblDataPattern = bind(*tblData, "Pattern");
    tblDataPatternSpeed = bind(*tblData, "PatternSpeed");
    tblDataRepeat = bind(*tblData, "Repeat");
    tblDataRepeatPatten = bind(*tblData, "RepeatPatten");
    tblDataReversePattern = bind(*tblData, "ReversePattern");
    tblSoundsRecordNo = bind(*tblSounds, "RecordNo");
    tblSoundsCategory = bind(*tblSounds, "Category");
    tblSoundsName = bind(*tblSounds, "Name");
    tblSoundsSound = bind(*tblSounds, "Sound");
    tblCategoryRecordNo = bind(*tblCategory, "RecordNo");
    tblCategoryParentNo = bind(*tblCategory, "ParentNo");
    tblCategoryName = bind(*tblCategory, "Name");
    tblPlayListRecordNo = bind(*tblPlayList, "RecordNo");
    tblPlayListName = bind(*tblPlayList, "Name");
    if (tblPlayListName)
        tblPlayListName->SetSize(30); // the play list's field object is narrower than its column
    tblSongsRecordNo = bind(*tblSongs, "RecordNo");
    tblSongsPlayListNo = bind(*tblSongs, "PlayListNo");
    tblSongsMusicPath = bind(*tblSongs, "MusicPath");
    if (tblSongsMusicPath)
        tblSongsMusicPath->SetDisplayLabel("Music");
    tblSongsSchemeNo = bind(*tblSongs, "SchemeNo");
    tblSongsSchemeLookup = bind(*tblSongs, "SchemeLookup");
    if (tblSongsSchemeLookup)
        tblSongsSchemeLookup->SetDisplayLabel("Scheme");
}

void TLibraryTables::ReplaceSound(TBookmark sound, const std::vector<uint8_t>& image)
{
    tblSounds->GotoBookmark(sound);
    TEditScope edit(*tblSounds, TEditScope::Edit);
    tblSounds->WriteBlob("Sound", image);
    edit.Post();
}
