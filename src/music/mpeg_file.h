#pragma once
// The MPEG file source at the top of a music chain: turns the MPEG audio file
// that its decoder instance (TMMMpeg) has loaded into 16-bit PCM, decoded
// straight into the buffers the sink pulls up the chain.
//
// Runs on the user-interface thread, like the whole chain. Loading a stream
// sets the output format as this source's stream format, which travels down
// the chain (the wave output closes on it). Decoder failures raise
// EMMMpegError; a failure while a buffer is filled first goes to OnError.

#include "music/dsp_component.h"
#include "music/mpeg.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TMMMPEGFile : public TMMCustomFile {
public:
    // Handled starts false; a handler that sets it keeps the fault from
    // reaching the sink.
    using TErrorEvent = std::function<void(TMMDSPComponent& sender, bool& handled)>;

    // Creates the decoder instance: raises EMMMpegError "Unable to load the
    // MPEG decoder library" when the library cannot be had.
    TMMMPEGFile();
    ~TMMMPEGFile() override;

    // The decoder's current path; writing loads that file's stream (or none),
    // hands its format down the chain, then fires OnChange and OnChanged.
    std::string FileName() const;
    void SetFileName(const std::string& path);
    // True when no stream is loaded.
    bool Empty() const;

    // The decoder's current frame index; writing seeks there (two frames
    // back and decoding forward while the stream is open). A failing seek
    // raises the library's text, ": " and the frame.
    int32_t Position() const;
    void SetPosition(int32_t frame);

    // The loaded stream's values; 0 (Version v1) without a stream.
    int32_t Frames() const { return m_mpeg->Frames(); }
    int32_t Time() const { return m_mpeg->Time(); }
    int32_t BitRate() const { return m_mpeg->BitRate(); }
    int32_t SampleRate() const { return m_mpeg->SampleRate(); }
    uint16_t Channels() const { return m_mpeg->Channels(); }
    TMMMpegVersion Version() const { return m_mpeg->Version(); }
    int32_t Layer() const { return m_mpeg->Layer(); }
    TMMMpegMode Mode() const { return m_mpeg->Mode(); }

    TMMChannelMode ChannelMode() const { return m_mpeg->ChannelMode(); }
    // Raises "Change to property while device was open" while the stream is
    // open; otherwise the decoder takes it and the recomputed output format
    // is handed down the chain.
    void SetChannelMode(TMMChannelMode mode);
    int32_t TrailingHeader() const { return m_mpeg->TrailingHeader(); }
    void SetTrailingHeader(int32_t value) { m_mpeg->SetTrailingHeader(value); }
    bool Exactposition() const { return m_mpeg->Exactposition(); }
    void SetExactposition(bool exact) { m_mpeg->SetExactposition(exact); }
    // Kept with the form's stored values; the chain does not read it.
    int32_t PlayBackRate() const { return m_playBackRate; }
    void SetPlayBackRate(int32_t rate) { m_playBackRate = rate; }

    void SetOnError(TErrorEvent handler) { m_onError = std::move(handler); }

    // True while the decoder's stream is open (from the chain's open to its
    // close, or until a new stream is loaded).
    bool StreamOpen() const { return m_mpeg->IsOpen(); }
    // The frame the stream stood at when it was opened; every start after an
    // open or a stop plays from here.
    int32_t ResumeFrame() const { return m_resumeFrame; }

    void Open() override;
    void Close() override;
    void Start() override;
    void Stop() override;
    void BufferLoad(TMMBuffer& buffer, bool& moreBuffers) override;

    static bool IsMpegFile(const std::string& path) { return TMMMpeg::IsMpegFile(path); }

private:
    void StreamChanged();
    void HandDownFormat();
    void OpenStream();
    void Fill(TMMBuffer& buffer, bool& moreBuffers);

    std::unique_ptr<TMMMpeg> m_mpeg;
    int32_t m_resumeFrame = 0;
    // Set by open and stop: the next start seeks to the resume frame.
    bool m_seekOnStart = false;
    int32_t m_playBackRate = 0;
    TErrorEvent m_onError;
};
