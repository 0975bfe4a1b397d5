#include "music/mpeg.h"

#include "audio/riff_reader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

bool ContainsNoCase(const std::string& text, const std::string& part)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        });
        return s;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

} // namespace

TMMMpeg::TMMMpeg()
{
    if (!LoadMpegLibrary())
        throw EMMMpegError("Unable to load the MPEG decoder library");
    m_library = MpegLibrary();
    int32_t status = 0;
    m_handle = m_library->mpeg_Init(&status, &TMMMpeg::ChangeCallback, this);
    if (status != 0)
        Raise(status);
    try {
        Check(m_library->mpeg_SetChannelMode(m_handle, m_channelMode));
        Check(m_library->mpeg_SetExactPosition(m_handle, m_exactPosition));
    } catch (...) {
        m_library->mpeg_Done(&m_handle);
        throw;
    }
}

TMMMpeg::~TMMMpeg()
{
    if (m_open)
        m_library->mpeg_CloseFile(m_handle);
    m_library->mpeg_Done(&m_handle);
}

void TMMMpeg::Raise(int32_t code, const std::string& suffix) const
{
    throw EMMMpegError(MpegErrorText(*m_library, code) + suffix);
}

void TMMMpeg::Check(int32_t status) const
{
    if (status != 0)
        Raise(status);
}

std::string TMMMpeg::FileName() const
{
    char buffer[MPEG_TEXT_SIZE] = {};
    Check(m_library->mpeg_GetFileName(m_handle, buffer, MPEG_TEXT_SIZE));
    buffer[MPEG_TEXT_SIZE - 1] = '\0';
    return buffer;
}

void TMMMpeg::SetFileName(const std::string& path)
{
    CloseFile();
    Check(m_library->mpeg_SetFileName(m_handle, path.c_str()));
}

bool TMMMpeg::Empty() const
{
    return m_library->mpeg_GetEmpty(m_handle);
}

void TMMMpeg::ChangeCallback(void* userValue)
{
    if (userValue)
        static_cast<TMMMpeg*>(userValue)->StreamChanged();
}

void TMMMpeg::StreamChanged()
{
    m_info = TMpegInfoRecord{};
    if (!m_library->mpeg_GetEmpty(m_handle))
        Check(m_library->mpeg_GetFileInfo(m_handle, &m_info));
    UpdateFormat();
    Changed();
}

void TMMMpeg::UpdateFormat()
{
    if (m_library->mpeg_GetEmpty(m_handle) || m_info.SampleRate <= 0) {
        m_format.reset();
        return;
    }
    uint16_t channels = m_info.Mode == smSingleChannel || m_channelMode != cmBoth ? 1 : 2;
    TWaveFormat format;
    WAVEFORMATEX& header = format.Header();
    header.wFormatTag = WAVE_FORMAT_PCM;
    header.nChannels = channels;
    header.nSamplesPerSec = static_cast<uint32_t>(m_info.SampleRate);
    header.wBitsPerSample = 16;
    header.nBlockAlign = static_cast<uint16_t>(channels * 2);
    header.nAvgBytesPerSec = header.nBlockAlign * header.nSamplesPerSec;
    header.cbSize = 0;
    m_format = format;
}

void TMMMpeg::SetChannelMode(TMMChannelMode mode)
{
    if (m_open)
        throw EMMMpegError("Change to property while device was open");
    Check(m_library->mpeg_SetChannelMode(m_handle, mode));
    m_channelMode = mode;
    UpdateFormat();
}

void TMMMpeg::SetExactposition(bool exact)
{
    Check(m_library->mpeg_SetExactPosition(m_handle, exact));
    m_exactPosition = exact;
}

void TMMMpeg::SetTrailingHeader(int32_t value)
{
    if (value == m_trailingHeader)
        return;
    Check(m_library->mpeg_SetTrailingHeader(m_handle, value));
    m_trailingHeader = value;
}

void TMMMpeg::OpenFile()
{
    if (m_open)
        return;
    Check(m_library->mpeg_OpenFile(m_handle));
    m_open = true;
}

void TMMMpeg::CloseFile()
{
    if (!m_open)
        return;
    // Closed on our side even if the library complains, so that a failing
    // close cannot leave the instance stuck open.
    m_open = false;
    Check(m_library->mpeg_CloseFile(m_handle));
}

int32_t TMMMpeg::ReadDataBytes(void* buffer, int32_t count)
{
    int32_t result = m_library->mpeg_ReadDataBytes(m_handle, buffer, count);
    if (result < 0)
        Raise(result);
    return result;
}

bool TMMMpeg::GetDone() const
{
    return m_library->mpeg_GetDone(m_handle);
}

int32_t TMMMpeg::Position() const
{
    return m_library->mpeg_GetPosition(m_handle);
}

void TMMMpeg::SetPosition(int32_t frame)
{
    Check(m_library->mpeg_SetPosition(m_handle, frame));
}

void TMMMpeg::SeekFrame(int32_t frame, bool streamOpen)
{
    int32_t target = streamOpen ? std::max(frame - 2, 0) : frame;
    int32_t status = m_library->mpeg_SetPosition(m_handle, target);
    if (status != 0)
        Raise(status, ": " + std::to_string(frame));
    if (!streamOpen)
        return;
    int32_t frameBytes = 0;
    if (m_format) {
        double bytes = std::round((*m_format)->nAvgBytesPerSec * m_info.FrameMs / 1000.0);
        frameBytes = static_cast<int32_t>(std::clamp(bytes, 0.0, 1.0e9)) / 4 * 4;
    }
    // The frames before the target refill the decoder's bit reservoir.
    std::vector<uint8_t> scratch(static_cast<size_t>(frameBytes));
    for (int i = 0; i < 10; ++i) {
        if (m_library->mpeg_GetPosition(m_handle) >= frame || m_library->mpeg_GetDone(m_handle))
            break;
        ReadDataBytes(scratch.data(), frameBytes);
    }
}

bool TMMMpeg::IsMpegFile(const std::string& path)
{
    if (!LoadMpegLibrary() || path.empty())
        return false;
    std::error_code error;
    bool exists = std::filesystem::exists(path, error);
    if (!exists && !ContainsNoCase(path, "RESOURCE://") && !ContainsNoCase(path, "POINTER://"))
        return false;
    if (exists) {
        try {
            if (auto info = ReadWaveFileInfo(path)) {
                uint16_t tag = info->Format->wFormatTag;
                return tag == WAVE_FORMAT_MPEG || tag == WAVE_FORMAT_MPEGLAYER3;
            }
        } catch (const EAmbitoneError&) {
            // Unreadable as a WAVE file: the decoder decides.
        }
    }
    std::shared_ptr<IMpegDecoderLibrary> library = MpegLibrary();
    int32_t status = 0;
    TMpegHandle handle = library->mpeg_Init(&status, nullptr, nullptr);
    if (status != 0)
        return false;
    bool accepted = library->mpeg_SetFileName(handle, path.c_str()) == 0 && !library->mpeg_GetEmpty(handle);
    library->mpeg_Done(&handle);
    return accepted;
}
