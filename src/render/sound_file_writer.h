#pragma once
// Interleaved 16-bit PCM frames written to a sound file through libsndfile,
// the file's kind chosen by its extension (any case): .wav (16-bit PCM),
// .flac (16-bit) or .ogg (Ogg Vorbis).
//
// The frames go to a hidden temporary file beside the target, and only
// Commit puts it in the target's place (a rename, so an existing file is
// replaced whole or not at all). Discard, or the writer's end without a
// Commit, removes the temporary file: a write that fails or is given up
// leaves no file, and any file already at the target stays as it was.
//
// Contract: one thread per writer; writers of different files are
// independent. Every failure raises EAmbitoneError naming the path, with
// libsndfile's or the system's reason.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct sf_private_tag; // libsndfile's SNDFILE

enum class TSoundFileFormat { Wav, Flac, Ogg };

// The kind of file the path's extension names; raises EAmbitoneError for any
// extension but the three.
TSoundFileFormat DetectSoundFileFormat(const std::filesystem::path& path);

class TSoundFileWriter {
public:
    // mostFrames, when known, bounds the frames that will be written: a WAV
    // sure to stay under 4 GB is a plain RIFF file (the 44-byte header every
    // reader knows); any other WAV is written as RF64, which libsndfile turns
    // back into RIFF at the end if it stayed small enough. Writing more frames
    // than promised raises.
    TSoundFileWriter(std::filesystem::path path, int channels, int sampleRate,
                     std::optional<int64_t> mostFrames = std::nullopt);
    ~TSoundFileWriter();
    TSoundFileWriter(const TSoundFileWriter&) = delete;
    TSoundFileWriter& operator=(const TSoundFileWriter&) = delete;

    // frameCount frames of Channels() samples each.
    void Write(const int16_t* frames, int64_t frameCount);
    // Finishes the file and renames it over the target. Once only; what it
    // raises leaves no file behind either.
    void Commit();
    // Gives the write up; harmless when already committed or discarded.
    void Discard() noexcept;

    const std::filesystem::path& Path() const { return m_path; }
    TSoundFileFormat Format() const { return m_format; }
    int Channels() const { return m_channels; }
    int64_t FramesWritten() const { return m_frames; }

private:
    [[noreturn]] void Fail(const std::string& reason);
    void Close() noexcept;

    std::filesystem::path m_path;
    std::filesystem::path m_temporary;
    TSoundFileFormat m_format;
    int m_channels;
    std::optional<int64_t> m_mostFrames;
    int m_fd = -1;
    sf_private_tag* m_file = nullptr;
    int64_t m_frames = 0;
};
