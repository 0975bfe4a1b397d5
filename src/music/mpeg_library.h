#pragma once
// The MPEG decoder library: the entry points the music chain's decoder
// instances (TMMMpeg) call, and the loading of the library at run time.
//
// The real library is a thin layer of our own over libmpg123, which is
// brought in with dlopen so that a machine without it still starts: the
// layer is only "loaded" once libmpg123 and every function it needs are.
// Tests may replace the loader with one that hands out a scripted library.
//
// Contract of IMpegDecoderLibrary: every call is made on the user-interface
// thread; none throws (failures are status codes). A status is 0 for
// success, otherwise an error code that mpeg_GetErrorText turns into text;
// mpeg_ReadDataBytes reports a failure as a negative error code instead.
// The change callback given to mpeg_Init is called on the thread that made
// the causing call (mpeg_SetFileName), before that call returns.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using TMpegHandle = int32_t;
// Receives the user value given to mpeg_Init: the stream that was loaded
// changed (a new one, or none).
using TMpegChangeCallback = void (*)(void* userValue);

// Values in order, as stored and as passed to mpeg_SetChannelMode.
enum TMMChannelMode : uint8_t { cmLeft, cmRight, cmBoth, cmDownMix };
enum TMMMpegMode : uint8_t { smStereo, smJointStereo, smDualChannel, smSingleChannel };
enum TMMMpegVersion : uint8_t { v2LSF, v1 };

// The decoder info record, 166 bytes, little-endian, read in place.
#pragma pack(push, 1)
struct TMpegInfoRecord {
    uint8_t Version = v1;     // index into TMMMpegVersion
    int32_t Layer = 0;
    int32_t Reserved = 0;     // not read by the chain
    int32_t SampleRate = 0;   // Hz
    int32_t BitRate = 0;      // kbit/s; the average for a variable bit rate
    uint8_t Mode = smStereo;  // index into TMMMpegMode
    int32_t Frames = 0;
    int32_t TimeMs = 0;
    double FrameMs = 0.0;     // duration of one frame
    uint8_t Unused[132] = {};
};
#pragma pack(pop)
static_assert(sizeof(TMpegInfoRecord) == 166);
static_assert(offsetof(TMpegInfoRecord, Layer) == 1);
static_assert(offsetof(TMpegInfoRecord, SampleRate) == 9);
static_assert(offsetof(TMpegInfoRecord, BitRate) == 13);
static_assert(offsetof(TMpegInfoRecord, Mode) == 17);
static_assert(offsetof(TMpegInfoRecord, Frames) == 18);
static_assert(offsetof(TMpegInfoRecord, TimeMs) == 22);
static_assert(offsetof(TMpegInfoRecord, FrameMs) == 26);

// The version the chain needs at least.
constexpr int32_t MPEG_LIBRARY_MIN_VERSION = 25;
// The buffer size the chain passes for texts and paths.
constexpr int32_t MPEG_TEXT_SIZE = 256;

// Error codes of the layer itself; codes below 1000 are libmpg123's own.
enum TMpegLayerError : int32_t {
    MPEG_ERR_BAD_HANDLE = 1001,
    MPEG_ERR_NO_STREAM = 1002,
    MPEG_ERR_NOT_OPEN = 1003,
    MPEG_ERR_CANNOT_OPEN_FILE = 1004,
    MPEG_ERR_BAD_CHANNEL_MODE = 1005,
    MPEG_ERR_BAD_POSITION = 1006,
    MPEG_ERR_NO_DECODER = 1007,
    MPEG_ERR_BAD_ARGUMENT = 1008,
};

class IMpegDecoderLibrary {
public:
    virtual ~IMpegDecoderLibrary() = default;

    // The library's version; 0 when its entry points could not all be
    // resolved.
    virtual int32_t mpeg_Version() = 0;
    // A new decoder; *status is 0 on success, otherwise an error code (and
    // the handle is 0). The callback may be null.
    virtual TMpegHandle mpeg_Init(int32_t* status, TMpegChangeCallback callback, void* userValue) = 0;
    // Releases the decoder and sets *handle to 0.
    virtual void mpeg_Done(TMpegHandle* handle) = 0;
    // 0 when a zero-terminated text (cut to size) was written.
    virtual int32_t mpeg_GetErrorText(int32_t code, char* text, int32_t size) = 0;
    // Loads the stream of a path. An empty path, or a readable file that
    // holds no MPEG audio, succeeds with no stream loaded; a file that
    // cannot be read fails and leaves the decoder as it was. On success
    // the change callback is called before returning.
    virtual int32_t mpeg_SetFileName(TMpegHandle handle, const char* path) = 0;
    virtual int32_t mpeg_GetFileName(TMpegHandle handle, char* buffer, int32_t size) = 0;
    virtual bool mpeg_GetEmpty(TMpegHandle handle) = 0;
    virtual int32_t mpeg_GetFileInfo(TMpegHandle handle, TMpegInfoRecord* info) = 0;
    // Applies from the next mpeg_OpenFile on: left, right and down mix
    // deliver one channel.
    virtual int32_t mpeg_SetChannelMode(TMpegHandle handle, int32_t mode) = 0;
    virtual int32_t mpeg_GetChannelMode(TMpegHandle handle, int32_t* mode) = 0;
    virtual int32_t mpeg_SetExactPosition(TMpegHandle handle, bool exact) = 0;
    virtual int32_t mpeg_SetTrailingHeader(TMpegHandle handle, int32_t value) = 0;
    // Opening starts at the current position (0 for a newly loaded stream).
    virtual int32_t mpeg_OpenFile(TMpegHandle handle) = 0;
    virtual int32_t mpeg_CloseFile(TMpegHandle handle) = 0;
    // Bytes of output-format PCM written (0 at the end), or a negative code.
    virtual int32_t mpeg_ReadDataBytes(TMpegHandle handle, void* buffer, int32_t count) = 0;
    // True from the read that delivered the stream's last bytes on.
    virtual bool mpeg_GetDone(TMpegHandle handle) = 0;
    // A frame index; while closed it is where the next open starts.
    virtual int32_t mpeg_SetPosition(TMpegHandle handle, int32_t frame) = 0;
    // The frame that the next byte read comes from.
    virtual int32_t mpeg_GetPosition(TMpegHandle handle) = 0;
};

// The layer over libmpg123 at a path: nullptr when dlopen fails. A library
// without every libmpg123 function the layer needs is returned with
// mpeg_Version 0.
std::unique_ptr<IMpegDecoderLibrary> OpenMpg123Library(const std::string& path);

// Where libmpg123 is loaded from: the path set here, else the environment
// variable AMBITONE_MPG123_LIBRARY, else "libmpg123.so.0". An empty path
// restores the default.
void SetMpegLibraryPath(const std::string& path);
std::string MpegLibraryPath();

// Brings the library in: returns nullptr when it cannot be loaded. The
// default opens libmpg123 at MpegLibraryPath(); tests may set their own,
// and nullptr restores the default.
using TMpegLibraryLoader = std::function<std::unique_ptr<IMpegDecoderLibrary>()>;
void SetMpegLibraryLoader(TMpegLibraryLoader loader);

// Shows the loading failures; the program points it at an error message
// box. The default writes the text to standard error.
extern std::function<void(const std::string&)> MpegMessageBox;

// Loads the library once: true when it is (or already was) loaded. On
// failure the message box says "Unable to load the MPEG decoder library",
// or "Invalid Mpeg Decoder DLL version" when the version is below 25, and
// the next call tries again. Once loaded it stays loaded.
bool LoadMpegLibrary();
// The loaded library, or nullptr.
std::shared_ptr<IMpegDecoderLibrary> MpegLibrary();
// For tests: forget the loaded library, so that the next load runs again.
// Decoder instances that exist keep the library they were made with.
void ResetMpegLibrary();

// The text of an error code through the library; empty when it gives none.
std::string MpegErrorText(IMpegDecoderLibrary& library, int32_t code);
