#include "tool/wav_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutId(std::vector<uint8_t>& out, const char* id)
{
    out.insert(out.end(), id, id + 4);
}

} // namespace

void WritePcmWaveFile(const std::filesystem::path& path, const TWaveFormat& format, const uint8_t* data,
                      uint32_t bytes)
{
    if (bytes > 0xFFFFFFFFu - 44)
        throw EAmbitoneError("The sound is too long for a WAV file");
    const WAVEFORMATEX& f = format.Header();
    std::vector<uint8_t> header;
    PutId(header, "RIFF");
    Put32(header, 36 + bytes + (bytes & 1));
    PutId(header, "WAVE");
    PutId(header, "fmt ");
    Put32(header, 16);
    Put16(header, WAVE_FORMAT_PCM);
    Put16(header, f.nChannels);
    Put32(header, f.nSamplesPerSec);
    Put32(header, f.nAvgBytesPerSec);
    Put16(header, f.nBlockAlign);
    Put16(header, f.wBitsPerSample);
    PutId(header, "data");
    Put32(header, bytes);

    std::filesystem::path temporary = path;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            throw EAmbitoneError("Cannot write " + path.string() + ": " + std::strerror(errno));
        out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
        out.write(reinterpret_cast<const char*>(data), bytes);
        if (bytes & 1)
            out.put('\0');
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary);
            throw EAmbitoneError("Cannot write " + path.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary);
        throw EAmbitoneError("Cannot write " + path.string() + ": " + ec.message());
    }
}
