#pragma once
// The program's record store: the database in its Data directory, its six
// table objects with their settings (the SchemeData filter, the songs'
// master and lookup), and the field objects the program reads and writes
// through. The window owns one for the run; the tool may open its own.
//
// Contract: one thread. Open raises EStoreError (or EAmbitoneError for a
// directory that cannot be made) and stops where it failed: the tables
// opened before stay open with their field objects bound, the rest stay
// closed with null field objects.

#include "store/table.h"

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

class TLibraryTables {
public:
    TLibraryTables();
    ~TLibraryTables();
    TLibraryTables(const TLibraryTables&) = delete;
    TLibraryTables& operator=(const TLibraryTables&) = delete;

    // Makes the directory and any missing table when the store is new, then
    // opens the six tables in order.
    void Open(const std::filesystem::path& dataDirectory);
    // Posts a pending edit of Schemes, then closes every table.
    void Close();
    // The six tables in the order they open.
    std::array<TTable*, 6> All() const;

    TDatabase Database;
    std::unique_ptr<TTable> tblSchemes, tblData, tblSounds, tblCategory, tblPlayList, tblSongs;
    TField *tblSchemesRecordNo = nullptr, *tblSchemesName = nullptr, *tblSchemesLoopPeriod = nullptr,
           *tblSchemesVolume = nullptr;
    TField *tblDataRecordNo = nullptr, *tblDataSchemeNo = nullptr, *tblDataSoundNo = nullptr,
           *tblDataFreq = nullptr, *tblDataRandomize = nullptr, *tblDataCoordX = nullptr,
           *tblDataCoordY = nullptr, *tblDataCoordZ = nullptr, *tblDataPattern = nullptr,
           *tblDataPatternSpeed = nullptr, *tblDataRepeat = nullptr, *tblDataRepeatPatten = nullptr,
           *tblDataReversePattern = nullptr;
    TField *tblSoundsRecordNo = nullptr, *tblSoundsCategory = nullptr, *tblSoundsName = nullptr,
           *tblSoundsSound = nullptr;
    TField *tblCategoryRecordNo = nullptr, *tblCategoryParentNo = nullptr, *tblCategoryName = nullptr;
    TField *tblPlayListRecordNo = nullptr, *tblPlayListName = nullptr;
    TField *tblSongsRecordNo = nullptr, *tblSongsPlayListNo = nullptr, *tblSongsMusicPath = nullptr,
           *tblSongsSchemeNo = nullptr, *tblSongsSchemeLookup = nullptr;

    // Replaces a sample's Sound blob in one post: a failure leaves the old.
    void ReplaceSound(TBookmark sound, const std::vector<uint8_t>& image);

private:
    void BindFieldObjects();
};
