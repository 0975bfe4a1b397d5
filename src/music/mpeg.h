#pragma once
// One MPEG decoder instance of the music chain, over the decoder library
// (music/mpeg_library.h). It holds the decoder's handle, the info record of
// the loaded stream and the 16-bit PCM format the decoder delivers it in.
//
// Runs on the user-interface thread. Every failing library call raises
// EMMMpegError with the library's text for the code. The change hook
// (TMMObject::SetOnChange) runs inside SetFileName, after the info record
// and output format are updated; the owner pushes the format down its
// chain from there.

#include "audio/mm_object.h"
#include "audio/wave_format.h"
#include "base/error.h"
#include "music/mpeg_library.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class EMMMpegError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

class TMMMpeg : public TMMObject {
public:
    // Loads the library if needed and creates a decoder with ChannelMode
    // cmBoth and Exactposition false. Raises EMMMpegError "Unable to load
    // the MPEG decoder library" when the library cannot be had, or the
    // library's text when the decoder cannot be created.
    TMMMpeg();
    // Closes the stream and releases the decoder.
    ~TMMMpeg() override;

    std::string FileName() const;
    // Closes the open stream, then loads the path's stream (or none).
    void SetFileName(const std::string& path);
    // True when no stream is loaded.
    bool Empty() const;

    // The loaded stream's info record; all zero (Version v1) without one.
    const TMpegInfoRecord& Info() const { return m_info; }
    int32_t Frames() const { return m_info.Frames; }
    int32_t Time() const { return m_info.TimeMs; }
    int32_t SampleRate() const { return m_info.SampleRate; }
    int32_t BitRate() const { return m_info.BitRate; }
    int32_t Layer() const { return m_info.Layer; }
    TMMMpegMode Mode() const { return static_cast<TMMMpegMode>(m_info.Mode); }
    TMMMpegVersion Version() const { return static_cast<TMMMpegVersion>(m_info.Version); }
    double FrameMs() const { return m_info.FrameMs; }
    // The PCM format the decoder delivers; nullopt without a stream.
    const std::optional<TWaveFormat>& OutputFormat() const { return m_format; }
    // The output format's channel count; 0 without a stream.
    uint16_t Channels() const { return m_format ? (*m_format)->nChannels : 0; }

    TMMChannelMode ChannelMode() const { return m_channelMode; }
    // Raises "Change to property while device was open" while the stream
    // is open; otherwise applied and the output format recomputed.
    void SetChannelMode(TMMChannelMode mode);
    bool Exactposition() const { return m_exactPosition; }
    void SetExactposition(bool exact);
    int32_t TrailingHeader() const { return m_trailingHeader; }
    // The same value is not passed on.
    void SetTrailingHeader(int32_t value);

    bool IsOpen() const { return m_open; }
    void OpenFile();
    // Does nothing when the stream is not open.
    void CloseFile();
    // Bytes of output-format PCM written; 0 at the end of the stream.
    int32_t ReadDataBytes(void* buffer, int32_t count);
    // True once the read that delivered the last bytes has been made.
    bool GetDone() const;

    // The current frame index and the library's own seek to one.
    int32_t Position() const;
    void SetPosition(int32_t frame);
    // The chain's seek: while the stream is open, the library is asked for
    // two frames before the target (not below 0), then up to ten frames'
    // worth of PCM are decoded and dropped until the position reaches the
    // target or the stream ends; while closed the target is asked for
    // itself. A failing seek raises the library's text, ": " and frame.
    void SeekFrame(int32_t frame) { SeekFrame(frame, m_open); }
    void SeekFrame(int32_t frame, bool streamOpen);

    // True for a RIFF WAVE file with format tag 80 or 85, or a file the
    // decoder loads a stream from (asked without a change callback).
    static bool IsMpegFile(const std::string& path);

private:
    static void ChangeCallback(void* userValue);
    void StreamChanged();
    void UpdateFormat();
    void Check(int32_t status) const;
    [[noreturn]] void Raise(int32_t code, const std::string& suffix = {}) const;

    std::shared_ptr<IMpegDecoderLibrary> m_library;
    TMpegHandle m_handle = 0;
    bool m_open = false;
    TMMChannelMode m_channelMode = cmBoth;
    bool m_exactPosition = false;
    int32_t m_trailingHeader = 0;
    TMpegInfoRecord m_info;
    std::optional<TWaveFormat> m_format;
};
