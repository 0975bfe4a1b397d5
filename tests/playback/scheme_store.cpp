#include "scheme_store.h"

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

namespace {

void Le(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

} // namespace

std::vector<uint8_t> ToneImage(double hz, double seconds, uint32_t rate)
{
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    std::vector<uint8_t> image = {'R', 'I', 'F', 'F'};
    Le(image, 36 + frames * 2, 4);
    for (char c : std::string("WAVEfmt "))
        image.push_back(static_cast<uint8_t>(c));
    Le(image, 16, 4);
    Le(image, 1, 2);
    Le(image, 1, 2);
    Le(image, rate, 4);
    Le(image, rate * 2, 4);
    Le(image, 2, 2);
    Le(image, 16, 2);
    for (char c : std::string("data"))
        image.push_back(static_cast<uint8_t>(c));
    Le(image, frames * 2, 4);
    for (uint32_t i = 0; i < frames; ++i)
        Le(image, static_cast<uint16_t>(static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate))), 2);
    return image;
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
