#include "playback/scheme_session.h"

#include "audio/main_mixer.h"
#include "base/error.h"

#include <exception>
#include <string>
#include <utility>

namespace {

// Puts a table's cursor back on the row it was on when the walk began, if
// that row is still visible. A walk that succeeds calls Return itself and
// hears of its errors; on the way out of a failure the return is best
// effort, so that the first error is the one the caller hears of.
class TCursorReturn {
public:
    explicit TCursorReturn(TTable& table) : m_table(table)
    {
        if (!m_table.IsEmpty())
            m_bookmark = m_table.GetBookmark();
    }
    ~TCursorReturn()
    {
        try {
            Return();
        } catch (...) {
        }
    }
    TCursorReturn(const TCursorReturn&) = delete;
    TCursorReturn& operator=(const TCursorReturn&) = delete;

    void Return()
    {
        const TBookmark bookmark = std::exchange(m_bookmark, TBookmark{});
        if (bookmark.IsValid() && m_table.BookmarkValid(bookmark))
            m_table.GotoBookmark(bookmark);
    }

private:
    TTable& m_table;
    TBookmark m_bookmark;
};

} // namespace

TSchemeRow::TSchemeRow(TMMDSWaveMixer* mixer)
    : m_channel(std::make_unique<TMMDSMixChannel>(mixer)), m_adapter(*m_channel)
{
}

TSchemeSession::TSchemeSession(TMMDSWaveMixer& mixer, IClock& clock, TRandomSource& random)
    : m_mixer(&mixer), m_random(random), m_scheduler(clock, random)
{
}

TSchemeSession::TSchemeSession(IClock& clock, TRandomSource& random)
    : m_mixer(nullptr), m_random(random), m_scheduler(clock, random)
{
}

TSchemeSession::~TSchemeSession()
{
    try {
        if (m_scheduler.Playing())
            m_scheduler.Stop();
    } catch (...) {
        // Teardown goes on: the channels still have to let go of the device.
    }
    DropRows();
}

TSchemeRowsLoaded TSchemeSession::LoadScheme(TTable& schemeData, TTable& sounds, int32_t schemeNo)
{
    Clear();
    if (!schemeData.Filtered())
        schemeData.SetFiltered(true);
    schemeData.SetFilter("SchemeNo = " + std::to_string(schemeNo));
    return LoadRows(schemeData, sounds);
}

TSchemeRowsLoaded TSchemeSession::LoadRows(TTable& schemeData, TTable& sounds)
{
    Clear();
    TCursorReturn dataCursor(schemeData), soundCursor(sounds);
    TSchemeRowsLoaded loaded;
    for (schemeData.First(); !schemeData.IsEmpty() && !schemeData.Eof(); schemeData.Next()) {
        const TBookmark sound{schemeData.FieldByName("SoundNo").AsInteger()};
        if (!sound.IsValid() || !sounds.BookmarkValid(sound)) {
            ++loaded.Skipped;
            continue;
        }
        sounds.GotoBookmark(sound);
        AddRow(schemeData, sounds);
        ++loaded.Built;
    }
    dataCursor.Return();
    soundCursor.Return();
    return loaded;
}

TSchemeRow& TSchemeSession::AddRow(TTable& schemeData, TTable& sounds)
{
    TPlaybackRow record;
    FillRecord(schemeData, record);
    // The blob's bytes become the wave's image as they are: a sample of
    // megabytes is read once and never copied again.
    std::vector<uint8_t> image = sounds.ReadBlob("Sound");
    return AddRow([&](TMMWave& wave) { wave.LoadFromBytes(std::move(image)); }, record, schemeData.GetBookmark());
}

TSchemeRow& TSchemeSession::AddRow(std::istream& soundImage, const TPlaybackRow& record, TBookmark dataRecord)
{
    return AddRow([&](TMMWave& wave) { wave.LoadFromStream(soundImage); }, record, dataRecord);
}

TSchemeRow& TSchemeSession::AddRow(const std::function<void(TMMWave&)>& loadImage, const TPlaybackRow& record,
                                   TBookmark dataRecord)
{
    auto row = std::make_unique<TSchemeRow>(m_mixer);
    TMMDSMixChannel& channel = *row->m_channel;
    // The rows' channels face +Z like every channel made at run time; only
    // the preview faces the other way.
    ApplyChannelSettings(channel, 1);
    loadImage(channel.Wave());
    channel.SetTag(static_cast<int>(m_rows.size()));
    channel.SetOnPlayEnd([this](TMMDSMixChannel& sender, TMMDSPlayEnd reason) {
        m_scheduler.ChannelEndPlay(sender.Tag(), reason == TMMDSPlayEnd::peFinished);
    });
    row->m_record = record;
    row->m_record.Channel = &row->m_adapter;
    UpdatePeriodDisplay(row->m_record, m_scheduler.LoopLength());
    row->m_dataRecord = dataRecord;
    m_rows.push_back(std::move(row));
    SyncRows();
    return *m_rows.back();
}

void TSchemeSession::RemoveRow(size_t index)
{
    if (index >= m_rows.size())
        return;
    // The scheduler forgets the row before its channel goes: the stop its
    // going reports finds no row of that tag.
    std::unique_ptr<TSchemeRow> row = std::move(m_rows[index]);
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    for (size_t i = index; i < m_rows.size(); ++i)
        m_rows[i]->m_channel->SetTag(static_cast<int>(i));
    SyncRows();
    // A channel that goes closes the mixer's device, and every other sound
    // with it; the removed row only falls silent, its wave cleared, and
    // waits unheard until the rows are dropped.
    TMMDSMixChannel& channel = *row->m_channel;
    channel.SetOnPlayEnd({});
    m_retired.push_back(std::move(row));
    channel.Stop();
    channel.Wave().ClearWave();
}

void TSchemeSession::Clear()
{
    std::exception_ptr failure;
    try {
        if (m_scheduler.Playing())
            m_scheduler.Stop();
    } catch (...) {
        // The rows go all the same, so that a failed stop cannot leave a
        // half-cleared session; the caller still hears of it.
        failure = std::current_exception();
    }
    DropRows();
    if (failure)
        std::rethrow_exception(failure);
}

void TSchemeSession::FillRecord(TTable& schemeData, TPlaybackRow& record)
{
    record.SliderPosition = SliderFromStoredFreq(schemeData.FieldByName("Freq").AsInteger());
    record.Randomize = schemeData.FieldByName("Randomize").AsBoolean();
    record.Elapsed = 0;
    // The columns are 64-bit; the record holds single precision.
    record.CoordX = static_cast<float>(schemeData.FieldByName("CoordX").AsFloat());
    record.CoordY = static_cast<float>(schemeData.FieldByName("CoordY").AsFloat());
    record.CoordZ = static_cast<float>(schemeData.FieldByName("CoordZ").AsFloat());
    record.Pattern = schemeData.FieldByName("Pattern").AsInteger();
    record.PatternSpeed = schemeData.FieldByName("PatternSpeed").AsInteger();
    record.ReversePattern = schemeData.FieldByName("ReversePattern").AsBoolean();
    record.RepeatMethod = schemeData.FieldByName("RepeatPatten").AsInteger();
    record.RepeatCount = static_cast<uint16_t>(schemeData.FieldByName("Repeat").AsInteger());
    record.RepeatsDone = 0;
    record.RepeatTarget = FreshRepeatTarget(record.RepeatMethod, record.RepeatCount, m_random);
}

void TSchemeSession::DropRows()
{
    // The scheduler lets go first, so that no tick reaches a dying row; the
    // stops that each channel's going causes in the others still find the
    // scheduler alive.
    m_scheduler.SetRows({});
    // Handing tens of megabytes back to the system takes a millisecond or
    // more: the owner may have the samples' bytes freed later. The channels
    // go now.
    std::shared_ptr<std::vector<std::unique_ptr<TMMMemoryStore>>> images;
    if (m_releaseLater && !m_rows.empty()) {
        images = std::make_shared<std::vector<std::unique_ptr<TMMMemoryStore>>>();
        for (const std::unique_ptr<TSchemeRow>& row : m_rows)
            images->push_back(row->m_channel->Wave().TakeImage());
    }
    while (!m_rows.empty())
        m_rows.pop_back();
    m_retired.clear();
    if (images)
        m_releaseLater(std::move(images));
}

void TSchemeSession::SyncRows()
{
    std::vector<TPlaybackRow*> records;
    records.reserve(m_rows.size());
    for (auto& row : m_rows)
        records.push_back(&row->m_record);
    m_scheduler.SetRows(std::move(records));
}
