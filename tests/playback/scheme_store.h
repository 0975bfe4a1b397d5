#pragma once
// Schemes in a real record store for the playback tests: a scratch
// directory, tone samples as the catalogue stores them, and scheme rows
// written as the window writes them.
#include "store/database.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TScratchDir {
public:
    explicit TScratchDir(const std::string& prefix = "playback");
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A mono 16-bit PCM WAV image of a sine tone.
std::vector<uint8_t> ToneImage(double hz, double seconds, uint32_t rate = 22050);

struct TRowSpec {
    int SoundNo; // 0: the row's own tone; anything else is stored as it is
    int Freq;
    bool Randomize = false;
    int RepeatMethod = 0, Repeat = 0;
    int Pattern = 0, PatternSpeed = 1;
    double X = 0, Y = 0, Z = 2;
    double Seconds = 0.5; // the length of the row's own tone
};

// The new scheme's RecordNo.
int AddScheme(TDatabase& db, const std::string& name, int loopPeriod);
// Appends SchemeData rows (and a SoundCatalog row with a tone of 300 + 100 x i
// Hz for each row i naming no sound); returns the rows' RecordNos.
std::vector<int> AddRows(TDatabase& db, int schemeNo, const std::vector<TRowSpec>& rows);
