#include "music/mpeg_library.h"

// Only the types and constants come from the header; the functions are
// resolved from the loaded library under their plain names (on a 64-bit
// system they take the native 64-bit off_t).
#define MPG123_NO_LARGENAME
#include <mpg123.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <vector>

namespace {

// The version of this layer; the chain needs 25 or more.
constexpr int32_t MPG123_LAYER_VERSION = 25;
// Codes of libmpg123 that are not its own error codes.
constexpr int32_t MPEG_ERR_DECODE = 1009;

struct TMpg123Api {
    decltype(&::mpg123_init) Init = nullptr;
    decltype(&::mpg123_new) New = nullptr;
    decltype(&::mpg123_delete) Delete = nullptr;
    decltype(&::mpg123_param) Param = nullptr;
    decltype(&::mpg123_open) Open = nullptr;
    decltype(&::mpg123_close) Close = nullptr;
    decltype(&::mpg123_getformat) GetFormat = nullptr;
    decltype(&::mpg123_format_none) FormatNone = nullptr;
    decltype(&::mpg123_format) Format = nullptr;
    decltype(&::mpg123_scan) Scan = nullptr;
    decltype(&::mpg123_framelength) FrameLength = nullptr;
    decltype(&::mpg123_length) Length = nullptr;
    decltype(&::mpg123_spf) Spf = nullptr;
    decltype(&::mpg123_info2) Info = nullptr;
    decltype(&::mpg123_decode_frame) DecodeFrame = nullptr;
    decltype(&::mpg123_seek_frame) SeekFrame = nullptr;
    decltype(&::mpg123_plain_strerror) PlainStrError = nullptr;
    decltype(&::mpg123_errcode) ErrCode = nullptr;
};

struct TChunk {
    int32_t Frame = 0;
    std::vector<uint8_t> Bytes;
    size_t Offset = 0; // first byte not yet delivered
};

struct TDecoder {
    TMpegChangeCallback Callback = nullptr;
    void* UserValue = nullptr;
    std::string Path;
    bool Loaded = false;
    TMpegInfoRecord Info;
    int32_t ChannelMode = cmBoth;
    bool Exact = false;
    int32_t TrailingHeader = 0;
    // The open stream, and where its output stands.
    mpg123_handle* Stream = nullptr;
    int32_t Position = 0; // while closed: the frame the next open starts at
    std::deque<TChunk> Pending;
    size_t PendingBytes = 0;
    int32_t NextFrame = 0; // the frame the next decode yields
    bool Eof = false;
    bool Done = false;
};

class TMpg123Library final : public IMpegDecoderLibrary {
public:
    explicit TMpg123Library(void* module) : m_module(module) { m_complete = Resolve() && m_api.Init() == MPG123_OK; }

    ~TMpg123Library() override
    {
        for (auto& [handle, decoder] : m_decoders)
            CloseStream(decoder);
        dlclose(m_module);
    }

    int32_t mpeg_Version() override { return m_complete ? MPG123_LAYER_VERSION : 0; }

    TMpegHandle mpeg_Init(int32_t* status, TMpegChangeCallback callback, void* userValue) override
    {
        if (!m_complete) {
            if (status)
                *status = MPEG_ERR_NO_DECODER;
            return 0;
        }
        TMpegHandle handle = m_nextHandle++;
        TDecoder& decoder = m_decoders[handle];
        decoder.Callback = callback;
        decoder.UserValue = userValue;
        if (status)
            *status = 0;
        return handle;
    }

    void mpeg_Done(TMpegHandle* handle) override
    {
        if (!handle)
            return;
        auto it = m_decoders.find(*handle);
        if (it != m_decoders.end()) {
            CloseStream(it->second);
            m_decoders.erase(it);
        }
        *handle = 0;
    }

    int32_t mpeg_GetErrorText(int32_t code, char* text, int32_t size) override
    {
        if (!text || size <= 0)
            return MPEG_ERR_BAD_ARGUMENT;
        if (code < 0)
            code = -code;
        std::string message;
        switch (code) {
        case MPEG_ERR_BAD_HANDLE: message = "Invalid MPEG decoder handle"; break;
        case MPEG_ERR_NO_STREAM: message = "No MPEG stream is loaded"; break;
        case MPEG_ERR_NOT_OPEN: message = "The MPEG stream is not open"; break;
        case MPEG_ERR_CANNOT_OPEN_FILE: message = "Cannot open the MPEG file"; break;
        case MPEG_ERR_BAD_CHANNEL_MODE: message = "Invalid channel mode"; break;
        case MPEG_ERR_BAD_POSITION: message = "Invalid frame position"; break;
        case MPEG_ERR_NO_DECODER: message = "The MPEG decoder could not be created"; break;
        case MPEG_ERR_BAD_ARGUMENT: message = "Invalid argument"; break;
        case MPEG_ERR_DECODE: message = "MPEG decoding failed"; break;
        default:
            if (code > 0 && code < 1000 && m_complete) {
                const char* plain = m_api.PlainStrError(code);
                if (plain)
                    message = plain;
            }
        }
        if (message.empty())
            return MPEG_ERR_BAD_ARGUMENT;
        size_t length = std::min(message.size(), static_cast<size_t>(size - 1));
        std::memcpy(text, message.data(), length);
        text[length] = '\0';
        return 0;
    }

    int32_t mpeg_SetFileName(TMpegHandle handle, const char* path) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        std::string newPath = path ? path : "";
        TMpegInfoRecord info;
        bool loaded = false;
        if (!newPath.empty()) {
            // A file we cannot read is refused; one we can read but that
            // holds no MPEG audio is accepted as "no stream".
            std::ifstream probe(newPath, std::ios::binary);
            if (!probe)
                return MPEG_ERR_CANNOT_OPEN_FILE;
            probe.close();
            loaded = Probe(newPath, info);
        }
        CloseStream(*decoder);
        decoder->Path = newPath;
        decoder->Loaded = loaded;
        decoder->Info = loaded ? info : TMpegInfoRecord{};
        decoder->Position = 0;
        decoder->Done = false;
        if (decoder->Callback)
            decoder->Callback(decoder->UserValue);
        return 0;
    }

    int32_t mpeg_GetFileName(TMpegHandle handle, char* buffer, int32_t size) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (!buffer || size <= 0)
            return MPEG_ERR_BAD_ARGUMENT;
        size_t length = std::min(decoder->Path.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, decoder->Path.data(), length);
        buffer[length] = '\0';
        return 0;
    }

    bool mpeg_GetEmpty(TMpegHandle handle) override
    {
        TDecoder* decoder = Find(handle);
        return !decoder || !decoder->Loaded;
    }

    int32_t mpeg_GetFileInfo(TMpegHandle handle, TMpegInfoRecord* info) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (!info)
            return MPEG_ERR_BAD_ARGUMENT;
        if (!decoder->Loaded)
            return MPEG_ERR_NO_STREAM;
        *info = decoder->Info;
        return 0;
    }

    int32_t mpeg_SetChannelMode(TMpegHandle handle, int32_t mode) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (mode < cmLeft || mode > cmDownMix)
            return MPEG_ERR_BAD_CHANNEL_MODE;
        decoder->ChannelMode = mode;
        return 0;
    }

    int32_t mpeg_GetChannelMode(TMpegHandle handle, int32_t* mode) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (!mode)
            return MPEG_ERR_BAD_ARGUMENT;
        *mode = decoder->ChannelMode;
        return 0;
    }

    int32_t mpeg_SetExactPosition(TMpegHandle handle, bool exact) override
    {
        // Positions are always exact here: every open scans the stream.
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        decoder->Exact = exact;
        return 0;
    }

    int32_t mpeg_SetTrailingHeader(TMpegHandle handle, int32_t value) override
    {
        // Kept for the caller; libmpg123 skips trailing tags by itself.
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        decoder->TrailingHeader = value;
        return 0;
    }

    int32_t mpeg_OpenFile(TMpegHandle handle) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (!decoder->Loaded)
            return MPEG_ERR_NO_STREAM;
        if (decoder->Stream)
            return 0;
        int32_t status = OpenStream(*decoder);
        if (status != 0)
            return status;
        int32_t start = decoder->Position;
        decoder->Done = false;
        return Seek(*decoder, start);
    }

    int32_t mpeg_CloseFile(TMpegHandle handle) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        CloseStream(*decoder);
        return 0;
    }

    int32_t mpeg_ReadDataBytes(TMpegHandle handle, void* buffer, int32_t count) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return -MPEG_ERR_BAD_HANDLE;
        if (!decoder->Stream)
            return -MPEG_ERR_NOT_OPEN;
        if (!buffer || count < 0)
            return -MPEG_ERR_BAD_ARGUMENT;
        // Decode past the request, so that the read that takes the last
        // bytes already knows it is the last one.
        while (!decoder->Eof && decoder->PendingBytes <= static_cast<size_t>(count)) {
            int32_t status = DecodeOne(*decoder);
            if (status != 0)
                return -status;
        }
        auto* out = static_cast<uint8_t*>(buffer);
        size_t wanted = std::min(static_cast<size_t>(count), decoder->PendingBytes);
        size_t written = 0;
        while (written < wanted) {
            TChunk& chunk = decoder->Pending.front();
            size_t take = std::min(wanted - written, chunk.Bytes.size() - chunk.Offset);
            std::memcpy(out + written, chunk.Bytes.data() + chunk.Offset, take);
            chunk.Offset += take;
            written += take;
            if (chunk.Offset == chunk.Bytes.size())
                decoder->Pending.pop_front();
        }
        decoder->PendingBytes -= written;
        if (decoder->Eof && decoder->PendingBytes == 0)
            decoder->Done = true;
        return static_cast<int32_t>(written);
    }

    bool mpeg_GetDone(TMpegHandle handle) override
    {
        TDecoder* decoder = Find(handle);
        return decoder && decoder->Done;
    }

    int32_t mpeg_SetPosition(TMpegHandle handle, int32_t frame) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return MPEG_ERR_BAD_HANDLE;
        if (frame < 0)
            return MPEG_ERR_BAD_POSITION;
        if (!decoder->Loaded)
            return MPEG_ERR_NO_STREAM;
        decoder->Done = false;
        if (!decoder->Stream) {
            decoder->Position = std::min(frame, decoder->Info.Frames);
            return 0;
        }
        return Seek(*decoder, frame);
    }

    int32_t mpeg_GetPosition(TMpegHandle handle) override
    {
        TDecoder* decoder = Find(handle);
        if (!decoder)
            return 0;
        return CurrentPosition(*decoder);
    }

private:
    bool Resolve()
    {
        auto get = [this](auto& target, const char* name) {
            target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(dlsym(m_module, name));
            return target != nullptr;
        };
        bool ok = true;
        ok &= get(m_api.Init, "mpg123_init");
        ok &= get(m_api.New, "mpg123_new");
        ok &= get(m_api.Delete, "mpg123_delete");
        ok &= get(m_api.Param, "mpg123_param");
        ok &= get(m_api.Open, "mpg123_open");
        ok &= get(m_api.Close, "mpg123_close");
        ok &= get(m_api.GetFormat, "mpg123_getformat");
        ok &= get(m_api.FormatNone, "mpg123_format_none");
        ok &= get(m_api.Format, "mpg123_format");
        ok &= get(m_api.Scan, "mpg123_scan");
        ok &= get(m_api.FrameLength, "mpg123_framelength");
        ok &= get(m_api.Length, "mpg123_length");
        ok &= get(m_api.Spf, "mpg123_spf");
        ok &= get(m_api.Info, "mpg123_info2");
        ok &= get(m_api.DecodeFrame, "mpg123_decode_frame");
        ok &= get(m_api.SeekFrame, "mpg123_seek_frame");
        ok &= get(m_api.PlainStrError, "mpg123_plain_strerror");
        ok &= get(m_api.ErrCode, "mpg123_errcode");
        return ok;
    }

    TDecoder* Find(TMpegHandle handle)
    {
        auto it = m_decoders.find(handle);
        return it == m_decoders.end() ? nullptr : &it->second;
    }

    // The code of a failed libmpg123 call, in the layer's code space.
    int32_t ErrorOf(mpg123_handle* stream, int result) const
    {
        int code = result;
        if (result == MPG123_ERR && stream)
            code = m_api.ErrCode(stream);
        return code > 0 && code < 1000 ? code : MPEG_ERR_DECODE;
    }

    mpg123_handle* NewHandle(int32_t* status) const
    {
        int error = 0;
        mpg123_handle* stream = m_api.New(nullptr, &error);
        if (!stream) {
            *status = error > 0 && error < 1000 ? error : MPEG_ERR_NO_DECODER;
            return nullptr;
        }
        m_api.Param(stream, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        *status = 0;
        return stream;
    }

    // Reads the stream's description; false when the file holds no MPEG
    // audio libmpg123 can decode.
    bool Probe(const std::string& path, TMpegInfoRecord& info) const
    {
        int32_t status = 0;
        mpg123_handle* stream = NewHandle(&status);
        if (!stream)
            return false;
        bool ok = false;
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_frameinfo2 frame{};
        if (m_api.Open(stream, path.c_str()) == MPG123_OK) {
            if (m_api.GetFormat(stream, &rate, &channels, &encoding) == MPG123_OK && rate > 0
                && m_api.Info(stream, &frame) == MPG123_OK && m_api.Scan(stream) == MPG123_OK) {
                off_t frames = m_api.FrameLength(stream);
                off_t samples = m_api.Length(stream);
                int spf = m_api.Spf(stream);
                if (frames > 0 && frames <= INT32_MAX && samples > 0 && spf > 0) {
                    info = TMpegInfoRecord{};
                    info.Version = frame.version == MPG123_1_0 ? v1 : v2LSF;
                    info.Layer = frame.layer;
                    info.SampleRate = static_cast<int32_t>(rate);
                    info.Mode = static_cast<uint8_t>(std::clamp(frame.mode, 0, 3));
                    info.Frames = static_cast<int32_t>(frames);
                    double ms = static_cast<double>(samples) * 1000.0 / static_cast<double>(rate);
                    info.TimeMs = static_cast<int32_t>(std::min(std::llround(ms), static_cast<long long>(INT32_MAX)));
                    info.FrameMs = spf * 1000.0 / static_cast<double>(rate);
                    info.BitRate = BitRateOf(frame, path, ms);
                    ok = true;
                }
            }
            m_api.Close(stream);
        }
        m_api.Delete(stream);
        return ok;
    }

    static int32_t BitRateOf(const mpg123_frameinfo2& frame, const std::string& path, double ms)
    {
        if (frame.vbr == MPG123_CBR)
            return frame.bitrate;
        if (frame.vbr == MPG123_ABR && frame.abr_rate > 0)
            return frame.abr_rate;
        // Variable: the average over the file, in bits per millisecond.
        std::error_code error;
        auto bytes = std::filesystem::file_size(path, error);
        if (error || ms <= 0.0)
            return frame.bitrate;
        return static_cast<int32_t>(std::llround(static_cast<double>(bytes) * 8.0 / ms));
    }

    static int32_t OutputChannels(const TDecoder& decoder)
    {
        return decoder.Info.Mode == smSingleChannel || decoder.ChannelMode != cmBoth ? 1 : 2;
    }

    int32_t OpenStream(TDecoder& decoder)
    {
        int32_t status = 0;
        mpg123_handle* stream = NewHandle(&status);
        if (!stream)
            return status;
        int32_t channels = OutputChannels(decoder);
        if (decoder.Info.Mode != smSingleChannel && channels == 1) {
            long flag = decoder.ChannelMode == cmLeft ? MPG123_MONO_LEFT
                : decoder.ChannelMode == cmRight      ? MPG123_MONO_RIGHT
                                                      : MPG123_MONO_MIX;
            m_api.Param(stream, MPG123_ADD_FLAGS, flag, 0.0);
        }
        int result = m_api.FormatNone(stream);
        if (result == MPG123_OK)
            result = m_api.Format(stream, decoder.Info.SampleRate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                MPG123_ENC_SIGNED_16);
        if (result == MPG123_OK)
            result = m_api.Open(stream, decoder.Path.c_str());
        // The scan makes every frame seekable at once.
        if (result == MPG123_OK)
            result = m_api.Scan(stream);
        if (result != MPG123_OK) {
            status = ErrorOf(stream, result);
            m_api.Close(stream);
            m_api.Delete(stream);
            return status;
        }
        decoder.Stream = stream;
        decoder.Pending.clear();
        decoder.PendingBytes = 0;
        decoder.NextFrame = 0;
        decoder.Eof = false;
        return 0;
    }

    void CloseStream(TDecoder& decoder)
    {
        if (!decoder.Stream)
            return;
        decoder.Position = CurrentPosition(decoder);
        m_api.Close(decoder.Stream);
        m_api.Delete(decoder.Stream);
        decoder.Stream = nullptr;
        decoder.Pending.clear();
        decoder.PendingBytes = 0;
        decoder.Eof = false;
    }

    static int32_t CurrentPosition(const TDecoder& decoder)
    {
        if (!decoder.Stream)
            return decoder.Position;
        if (!decoder.Pending.empty())
            return decoder.Pending.front().Frame;
        return decoder.Eof ? decoder.Info.Frames : decoder.NextFrame;
    }

    int32_t Seek(TDecoder& decoder, int32_t frame)
    {
        decoder.Pending.clear();
        decoder.PendingBytes = 0;
        if (frame >= decoder.Info.Frames) {
            decoder.Eof = true;
            decoder.NextFrame = decoder.Info.Frames;
            return 0;
        }
        off_t result = m_api.SeekFrame(decoder.Stream, frame, SEEK_SET);
        if (result < 0)
            return ErrorOf(decoder.Stream, static_cast<int>(result));
        decoder.NextFrame = static_cast<int32_t>(result);
        decoder.Eof = false;
        return 0;
    }

    // Decodes one frame into the pending output; 0 or an error code.
    int32_t DecodeOne(TDecoder& decoder)
    {
        for (;;) {
            off_t number = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            int result = m_api.DecodeFrame(decoder.Stream, &number, &audio, &bytes);
            if (result == MPG123_NEW_FORMAT && bytes == 0)
                continue;
            if (result == MPG123_DONE) {
                decoder.Eof = true;
                return 0;
            }
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
                return ErrorOf(decoder.Stream, result);
            decoder.NextFrame = static_cast<int32_t>(number) + 1;
            if (bytes > 0 && audio) {
                decoder.Pending.push_back(TChunk{static_cast<int32_t>(number), std::vector<uint8_t>(audio, audio + bytes), 0});
                decoder.PendingBytes += bytes;
            }
            return 0;
        }
    }

    void* m_module;
    TMpg123Api m_api;
    bool m_complete = false;
    TMpegHandle m_nextHandle = 1;
    std::map<TMpegHandle, TDecoder> m_decoders;
};

std::string g_libraryPath;
TMpegLibraryLoader g_loader;
std::shared_ptr<IMpegDecoderLibrary> g_library;

void ShowMessage(const std::string& text)
{
    if (MpegMessageBox)
        MpegMessageBox(text);
    else
        std::cerr << text << '\n';
}

} // namespace

std::function<void(const std::string&)> MpegMessageBox = [](const std::string& text) { std::cerr << text << '\n'; };

std::unique_ptr<IMpegDecoderLibrary> OpenMpg123Library(const std::string& path)
{
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return nullptr;
    return std::make_unique<TMpg123Library>(module);
}

void SetMpegLibraryPath(const std::string& path)
{
    g_libraryPath = path;
}

std::string MpegLibraryPath()
{
    if (!g_libraryPath.empty())
        return g_libraryPath;
    const char* fromEnvironment = std::getenv("AMBITONE_MPG123_LIBRARY");
    if (fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    return "libmpg123.so.0";
}

void SetMpegLibraryLoader(TMpegLibraryLoader loader)
{
    g_loader = std::move(loader);
}

bool LoadMpegLibrary()
{
    if (g_library)
        return true;
    std::unique_ptr<IMpegDecoderLibrary> library = g_loader ? g_loader() : OpenMpg123Library(MpegLibraryPath());
    if (!library) {
        ShowMessage("Unable to load the MPEG decoder library");
        return false;
    }
    if (library->mpeg_Version() < MPEG_LIBRARY_MIN_VERSION) {
        library.reset();
        ShowMessage("Invalid Mpeg Decoder DLL version");
        return false;
    }
    g_library = std::move(library);
    return true;
}

std::shared_ptr<IMpegDecoderLibrary> MpegLibrary()
{
    return g_library;
}

void ResetMpegLibrary()
{
    g_library.reset();
}

std::string MpegErrorText(IMpegDecoderLibrary& library, int32_t code)
{
    char text[MPEG_TEXT_SIZE] = {};
    if (library.mpeg_GetErrorText(code, text, MPEG_TEXT_SIZE) != 0)
        return {};
    text[MPEG_TEXT_SIZE - 1] = '\0';
    return text;
}
