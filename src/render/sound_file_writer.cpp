#include "render/sound_file_writer.h"

#include "base/error.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A plain RIFF file counts its bytes in 32 bits, the 36 header bytes after
// its size field included.
constexpr uint64_t kRiffLimit = 0xFFFFFFFFull - 36;
// Vorbis at 0.6 of 0..1 (about 190 kbit/s for 44100 Hz stereo): above
// libsndfile's default of 0.4, as soft noise beds show the codec first.
constexpr double kVorbisQuality = 0.6;

std::atomic<unsigned> g_temporaryCount{0};

// Built up in place: GCC 12 at -O3 warns falsely (-Wrestrict) of
// "literal" + std::string&&.
std::string CannotWrite(const fs::path& path, const std::string& reason)
{
    std::string message("Cannot write ");
    message += path.string();
    message += ": ";
    message += reason;
    return message;
}

int SndfileFormat(TSoundFileFormat format, bool plainWav)
{
    switch (format) {
    case TSoundFileFormat::Wav:
        return (plainWav ? SF_FORMAT_WAV : SF_FORMAT_RF64) | SF_FORMAT_PCM_16;
    case TSoundFileFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case TSoundFileFormat::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    }
    return 0;
}

} // namespace

TSoundFileFormat DetectSoundFileFormat(const fs::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav")
        return TSoundFileFormat::Wav;
    if (extension == ".flac")
        return TSoundFileFormat::Flac;
    if (extension == ".ogg")
        return TSoundFileFormat::Ogg;
    throw EAmbitoneError(
        CannotWrite(path, "the file name must end in .wav, .flac or .ogg (WAV, FLAC or Ogg Vorbis)"));
}

TSoundFileWriter::TSoundFileWriter(fs::path path, int channels, int sampleRate, std::optional<int64_t> mostFrames)
    : m_path(std::move(path)), m_format(DetectSoundFileFormat(m_path)), m_channels(channels),
      m_mostFrames(mostFrames)
{
    // A hidden name of its own beside the target: the rename stays within
    // one file system, and two writers of one target never share it.
    std::string stem(".");
    stem += m_path.filename().string();
    stem += '.';
    stem += std::to_string(::getpid());
    stem += '-';
    while (m_fd < 0) {
        m_temporary = m_path.parent_path() / (stem + std::to_string(g_temporaryCount++) + ".part");
        m_fd = ::open(m_temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            throw EAmbitoneError(CannotWrite(m_path, std::strerror(errno)));
    }

    const uint64_t mostBytes = mostFrames ? uint64_t(std::max<int64_t>(*mostFrames, 0)) * 2 * uint64_t(channels)
                                          : kRiffLimit + 1;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SndfileFormat(m_format, mostBytes <= kRiffLimit);
    // The descriptor stays ours to close, whatever libsndfile does on a failure.
    m_file = sf_open_fd(m_fd, SFM_WRITE, &info, SF_FALSE);
    if (!m_file)
        Fail(sf_error_number(sf_error(nullptr)));
    if (info.format == (SF_FORMAT_RF64 | SF_FORMAT_PCM_16))
        sf_command(m_file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    if (m_format == TSoundFileFormat::Ogg) {
        double quality = kVorbisQuality;
        sf_command(m_file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
}

TSoundFileWriter::~TSoundFileWriter()
{
    Discard();
}

void TSoundFileWriter::Write(const int16_t* frames, int64_t frameCount)
{
    if (!m_file)
        throw EAmbitoneError(CannotWrite(m_path, "the file is closed"));
    if (m_mostFrames && m_frames + frameCount > *m_mostFrames)
        Fail(std::to_string(*m_mostFrames) + " frames were announced, and more came");
    if (sf_writef_short(m_file, frames, frameCount) != frameCount)
        Fail(sf_strerror(m_file));
    m_frames += frameCount;
}

void TSoundFileWriter::Commit()
{
    if (!m_file)
        throw EAmbitoneError(CannotWrite(m_path, "the file is closed"));
    // libsndfile keeps the first error of a write it could not finish.
    if (sf_error(m_file) != SF_ERR_NO_ERROR)
        Fail(sf_strerror(m_file));
    const int closed = sf_close(m_file);
    m_file = nullptr;
    if (closed != SF_ERR_NO_ERROR)
        Fail(sf_error_number(closed));
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        Fail(std::strerror(errno));
    std::error_code ec;
    fs::rename(m_temporary, m_path, ec);
    if (ec)
        Fail(ec.message());
    m_temporary.clear();
}

void TSoundFileWriter::Discard() noexcept
{
    Close();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        fs::remove(m_temporary, ignored);
        m_temporary.clear();
    }
}

void TSoundFileWriter::Close() noexcept
{
    if (m_file)
        sf_close(m_file);
    m_file = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void TSoundFileWriter::Fail(const std::string& reason)
{
    Discard();
    throw EAmbitoneError(CannotWrite(m_path, reason));
}
