#include "tool/commands.h"

#include "base/error.h"

#include <cstdio>
#include <cstdlib>

// Defined in wave_info.cpp and wave_decode.cpp.
int RunWaveInfoCommand(const std::vector<std::string>& args);
int RunWaveDecodeCommand(const std::vector<std::string>& args);
int RunRenderCommand(const std::vector<std::string>& args);
int RunPlayCommand(const std::vector<std::string>& args);
// Defined in render_scheme.cpp.
int RunRenderSchemeCommand(const std::vector<std::string>& args);
int RunPlayMp3Command(const std::vector<std::string>& args);
// Defined in container.cpp.
int RunContainerPackCommand(const std::vector<std::string>& args);
int RunContainerUnpackCommand(const std::vector<std::string>& args);
int RunContainerInfoCommand(const std::vector<std::string>& args);
// Defined in package_commands.cpp and package_info.cpp.
int RunExportSchemeCommand(const std::vector<std::string>& args);
int RunImportSchemeCommand(const std::vector<std::string>& args);
int RunExportCategoryCommand(const std::vector<std::string>& args);
int RunImportCategoryCommand(const std::vector<std::string>& args);
int RunPackageInfoCommand(const std::vector<std::string>& args);

std::string ToolUsage()
{
    return "Usage: ambitone-tool COMMAND [ARGUMENTS]\n"
           "\n"
           "The headless companion of Ambitone, for inspection, conversion and\n"
           "offline rendering. Each command prints Name=value lines.\n"
           "\n"
           "Commands:\n"
           "  --help, help    show this text\n"
           "  wave-info FILE  load a WAV file and print its format, FileSize,\n"
           "                  DataOffset, DataBytes and SampleCount\n"
           "  wave-decode IN OUT\n"
           "                  write OUT as a PCM WAV with the samples a mixer\n"
           "                  buffer would be filled with (ADPCM, A-law, mu-law,\n"
           "                  float and other depths decoded)\n"
           "  render IN OUT [--position X,Y,Z] [--seconds S] [--volume V]\n"
           "               [--frequency F] [--loop]\n"
           "                  play IN on one channel of the 3D mixer, offline at\n"
           "                  44100 Hz stereo, and write what the listener hears\n"
           "                  to OUT, a .wav, .flac or .ogg file (by default until\n"
           "                  the play ends, plus 100 ms)\n"
           "  play IN [the same options]\n"
           "                  play IN the same way on the sound card\n"
           "  play-mp3 FILE [--seconds S] [--seek FRAME] [--volume V] [--out OUT]\n"
           "                  play an MP3 song through the music page's chain (MPEG\n"
           "                  source, gain stage 0..32768 with 16384 unity, wave\n"
           "                  output) on the sound card; with --out, on a loopback\n"
           "                  device, writing the PCM the output received to OUT\n"
           "                  (.wav, .flac or .ogg)\n"
           "  render-scheme DATA_DIR TITLE OUT.(wav|flac|ogg) [--seconds S]\n"
           "                [--start HH:MM:SS.mmm] [--headphones] [--sleep-after S]\n"
           "                  play the scheme TITLE of the record store in DATA_DIR\n"
           "                  from its start on a virtual clock (set to --start,\n"
           "                  UTC, default midnight) and write what the listener\n"
           "                  hears to OUT as WAV, FLAC or Ogg Vorbis by its\n"
           "                  extension (one loop by default, at most 36000 s;\n"
           "                  --headphones uses HRTF); prints t=SECONDS row=INDEX\n"
           "                  event=fire|repeat|end for each firing, replay and end\n"
           "                  of a burst; with --sleep-after the last 30 s before S\n"
           "                  fade to silence and the scheme stops there\n"
           "  container-pack IN OUT [--password P] [--level N] [--gap G] [--chunk BYTES]\n"
           "                  write IN's bytes into a package container OUT (level 2,\n"
           "                  gap 0 and no password by default; --chunk splits the\n"
           "                  writes into pieces of that size)\n"
           "  container-unpack IN OUT [--password P]\n"
           "                  write the content of container IN to OUT (a plain file\n"
           "                  passes through unchanged)\n"
           "  container-info FILE [--password P]\n"
           "                  print a container's header fields and one line per block\n"
           "  export-scheme DATA_DIR TITLE OUT.amx\n"
           "                  write the scheme TITLE (the first of that title) as a\n"
           "                  scheme package, as the window exports it just opened\n"
           "  import-scheme DATA_DIR IN.amx\n"
           "                  add the package's scheme as a new scheme, its samples\n"
           "                  under \"Unfiled\"; prints SchemeNo=N\n"
           "  export-category DATA_DIR PATH OUT.amc\n"
           "                  write the category PATH (names from the top joined by\n"
           "                  \"/\", e.g. Nature/Birds) with everything below it\n"
           "  import-category DATA_DIR IN.amc\n"
           "                  add the package's category as a new top-level\n"
           "                  category; prints CategoryNo=N\n"
           "  package-info FILE\n"
           "                  print a package's container header, its own header and\n"
           "                  one line per entry (.amx) or node (.amc)\n";
}

int RunToolCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(ToolUsage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    if (args[0] == "wave-info")
        return RunWaveInfoCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "render")
        return RunRenderCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "play")
        return RunPlayCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "play-mp3")
        return RunPlayMp3Command(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "render-scheme")
        return RunRenderSchemeCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "wave-decode")
        return RunWaveDecodeCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "container-pack")
        return RunContainerPackCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "container-unpack")
        return RunContainerUnpackCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "container-info")
        return RunContainerInfoCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "export-scheme")
        return RunExportSchemeCommand(rest);
    if (args[0] == "import-scheme")
        return RunImportSchemeCommand(rest);
    if (args[0] == "export-category")
        return RunExportCategoryCommand(rest);
    if (args[0] == "import-category")
        return RunImportCategoryCommand(rest);
    if (args[0] == "package-info")
        return RunPackageInfoCommand(rest);
    std::fprintf(stderr, "ambitone-tool: unknown command \"%s\"\n%s", args[0].c_str(), ToolUsage().c_str());
    return 1;
}

double ParseSecondsOption(const std::string& text, double longest)
{
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds > 0 && seconds <= longest)) {
        char bound[32];
        std::snprintf(bound, sizeof bound, "%g", longest);
        throw EAmbitoneError("ambitone-tool: --seconds must lie in (0, " + std::string(bound) + "], not \"" + text +
                             "\"");
    }
    return seconds;
}
