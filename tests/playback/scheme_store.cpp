#include "scheme_store.h"

#include "support/wave_image.h"

#include "store/table.h"

#include <cmath>
#include <cstdlib>

namespace fs = std::filesystem;

TScratchDir::TScratchDir(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    m_path = mkdtemp(pattern.data());
}

TScratchDir::~TScratchDir()
{
    fs::remove_all(m_path);
}

std::vector<uint8_t> ToneImage(double hz, double seconds, uint32_t rate)
{
    return ToneWave(static_cast<int>(seconds * rate), hz, rate, 12000);
}

int AddScheme(TDatabase& db, const std::string& name, int loopPeriod)
{
    TTable schemes(db, "Schemes");
    schemes.Open();
    schemes.Append();
    schemes.FieldByName("Name").SetAsString(name);
    schemes.FieldByName("LoopPeriod").SetAsInteger(loopPeriod);
    schemes.Post();
    return schemes.FieldByName("RecordNo").AsInteger();
}

std::vector<int> AddRows(TDatabase& db, int schemeNo, const std::vector<TRowSpec>& rows)
{
    TTable sounds(db, "SoundCatalog"), data(db, "SchemeData");
    sounds.Open();
    data.Open();
    std::vector<int> recordNos;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TRowSpec& row = rows[i];
        int soundNo = row.SoundNo;
        if (soundNo == 0) {
            sounds.Append();
            sounds.FieldByName("Name").SetAsString("tone " + std::to_string(i));
            sounds.FieldByName("Category").SetAsInteger(-1);
            sounds.WriteBlob("Sound", ToneImage(300 + 100.0 * i, row.Seconds));
            sounds.Post();
            soundNo = sounds.FieldByName("RecordNo").AsInteger();
        }
        data.Append();
        data.FieldByName("SchemeNo").SetAsInteger(schemeNo);
        data.FieldByName("SoundNo").SetAsInteger(soundNo);
        data.FieldByName("Freq").SetAsInteger(row.Freq);
        data.FieldByName("Randomize").SetAsBoolean(row.Randomize);
        data.FieldByName("RepeatPatten").SetAsInteger(row.RepeatMethod);
        data.FieldByName("Repeat").SetAsInteger(row.Repeat);
        data.FieldByName("Pattern").SetAsInteger(row.Pattern);
        data.FieldByName("PatternSpeed").SetAsInteger(row.PatternSpeed);
        data.FieldByName("CoordX").SetAsFloat(row.X);
        data.FieldByName("CoordY").SetAsFloat(row.Y);
        data.FieldByName("CoordZ").SetAsFloat(row.Z);
        data.Post();
        recordNos.push_back(data.FieldByName("RecordNo").AsInteger());
    }
    return recordNos;
}
