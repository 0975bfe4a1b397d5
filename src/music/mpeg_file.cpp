#include "music/mpeg_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

TMMMPEGFile::TMMMPEGFile() : m_mpeg(std::make_unique<TMMMpeg>())
{
    m_mpeg->SetOnChange([this] { StreamChanged(); });
}

TMMMPEGFile::~TMMMPEGFile()
{
    // The decoder outlives nothing that could still call back into us.
    m_mpeg->SetOnChange(nullptr);
}

std::string TMMMPEGFile::FileName() const
{
    return m_mpeg->FileName();
}

void TMMMPEGFile::SetFileName(const std::string& path)
{
    // The decoder closes its stream and reports the new one through
    // StreamChanged before this returns.
    m_mpeg->SetFileName(path);
}

bool TMMMPEGFile::Empty() const
{
    return m_mpeg->Empty();
}

int32_t TMMMPEGFile::Position() const
{
    return m_mpeg->Position();
}

void TMMMPEGFile::SetPosition(int32_t frame)
{
    m_mpeg->SeekFrame(frame);
}

void TMMMPEGFile::SetChannelMode(TMMChannelMode mode)
{
    m_mpeg->SetChannelMode(mode);
    HandDownFormat();
}

void TMMMPEGFile::HandDownFormat()
{
    const auto& format = m_mpeg->OutputFormat();
    SetWaveFormat(format ? &format->Header() : nullptr);
}

void TMMMPEGFile::StreamChanged()
{
    HandDownFormat();
    DoChange();
    DoChanged();
}

void TMMMPEGFile::OpenStream()
{
    m_mpeg->OpenFile();
    m_resumeFrame = m_mpeg->Position();
    m_seekOnStart = true;
}

void TMMMPEGFile::Open()
{
    TMMCustomFile::Open();
    if (!m_mpeg->IsOpen() && !m_mpeg->Empty())
        OpenStream();
}

void TMMMPEGFile::Start()
{
    // A stream loaded while the chain stayed open (a sink that does not
    // close on a new format) would otherwise be read while closed.
    if (Opened() && !m_mpeg->IsOpen() && !m_mpeg->Empty())
        OpenStream();
    TMMCustomFile::Start();
    if (Started() && m_seekOnStart && m_mpeg->IsOpen()) {
        m_mpeg->SeekFrame(m_resumeFrame);
        m_seekOnStart = false;
    }
}

void TMMMPEGFile::Stop()
{
    TMMCustomFile::Stop();
    m_seekOnStart = true;
}

void TMMMPEGFile::Close()
{
    try {
        if (m_mpeg->IsOpen()) {
            Stop();
            m_mpeg->CloseFile();
        }
    } catch (...) {
        // A failing close still leaves the component closed.
        TMMCustomFile::Close();
        throw;
    }
    TMMCustomFile::Close();
}

void TMMMPEGFile::BufferLoad(TMMBuffer& buffer, bool& moreBuffers)
{
    TMMCustomFile::BufferLoad(buffer, moreBuffers);
    try {
        Fill(buffer, moreBuffers);
    } catch (const EAmbitoneError&) {
        bool handled = false;
        if (m_onError)
            m_onError(*this, handled);
        if (!handled)
            throw;
        // A handled fault ends the song quietly.
        buffer.BytesUsed = 0;
        moreBuffers = false;
    }
}

void TMMMPEGFile::Fill(TMMBuffer& buffer, bool& moreBuffers)
{
    if (m_mpeg->Empty()) {
        buffer.BytesUsed = 0;
        moreBuffers = false;
        return;
    }
    if (!Started() || !Enabled()) {
        // Silence keeps the sink's buffers flowing until playback starts.
        if (buffer.Size > 0)
            std::memset(buffer.Data, 0, buffer.Size);
        buffer.BytesUsed = buffer.Size;
        moreBuffers = true;
        return;
    }
    auto count = static_cast<int32_t>(std::min<uint32_t>(buffer.Size, std::numeric_limits<int32_t>::max()));
    int32_t got = m_mpeg->ReadDataBytes(buffer.Data, count);
    // The decoder never writes more than asked; a library that claims to
    // is not trusted beyond the buffer.
    buffer.BytesUsed = static_cast<uint32_t>(std::clamp(got, 0, count));
    moreBuffers = buffer.BytesUsed > 0 && !m_mpeg->GetDone();
}
