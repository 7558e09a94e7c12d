#include "tools/alder_sim/SimOptions.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace alder {

namespace {

bool ToInt(const char* text, int64_t min, int64_t max, int64_t& value)
{
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

}  // namespace

const char* UsageText()
{
    return "usage: alder_sim [options]\n"
           "  --address A          listen address (default 127.0.0.1)\n"
           "  --port P             live control port (default 8000)\n"
           "  --media-port P       live media port (default port + 1)\n"
           "  --query-port P       recording query port (default 4200)\n"
           "  --transmit-port P    recording transmit port (default 4100)\n"
           "  --user U --password W  login accepted by the live side (admin / 12345)\n"
           "  --channels N         channels with a video source, 1..24 (default 24)\n"
           "  --fps N              frame rate, 1..30 (default 15)\n"
           "  --size WxH           352x288 or 704x576 (default 352x288)\n"
           "  --audio-block N      ADPCM block bytes, 256 or 1024 (default 256)\n"
           "  --preencoded S       each channel encodes S seconds (1..10) when first watched and\n"
           "                       loops them, so that nothing is encoded while a load is measured\n"
           "                       (the picture then does not follow PTZ commands)\n"
           "  --recordings DIR     folder of AVI recordings served on the query port\n"
           "  --split-at N         send each 1032-byte reply in two segments at byte N\n"
           "  --pace BYTES         file streams at most BYTES per second\n"
           "  --no-live | --no-recordings  serve only one side\n"
           "Commands on standard input: format CH|all [WxH], audio CH|all 256|1024,\n"
           "playoff CH|all 0|1, drop, quit. SIGUSR1 drops every live connection,\n"
           "SIGUSR2 switches the picture size of every channel.\n";
}

bool ParseSize(const std::string& text, int& width, int& height)
{
    if (text == "352x288") {
        width = 352;
        height = 288;
        return true;
    }
    if (text == "704x576") {
        width = 704;
        height = 576;
        return true;
    }
    return false;
}

bool ParseOptions(int argc, char** argv, SimOptions& options, std::string* error)
{
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--no-live") {
            options.live = false;
            continue;
        }
        if (name == "--no-recordings") {
            options.vantor = false;
            continue;
        }
        if (i + 1 >= argc)
            return fail("missing value after " + name);
        const char* value = argv[++i];
        int64_t number = 0;
        auto port = [&](uint16_t& target) {
            if (!ToInt(value, 1, 65535, number))
                return fail("bad port " + std::string(value));
            target = static_cast<uint16_t>(number);
            return true;
        };
        if (name == "--address") {
            in_addr parsed{};
            if (inet_pton(AF_INET, value, &parsed) != 1)
                return fail("bad address " + std::string(value));
            options.address = value;
        } else if (name == "--port") {
            if (!port(options.livePort))
                return false;
        } else if (name == "--media-port") {
            if (!port(options.mediaPort))
                return false;
        } else if (name == "--query-port") {
            if (!port(options.queryPort))
                return false;
        } else if (name == "--transmit-port") {
            if (!port(options.transmitPort))
                return false;
        } else if (name == "--user") {
            if (std::strlen(value) > 12)
                return fail("user name longer than 12 characters");
            options.user = value;
        } else if (name == "--password") {
            if (std::strlen(value) > 12)
                return fail("password longer than 12 characters");
            options.password = value;
        } else if (name == "--channels") {
            if (!ToInt(value, 1, 24, number))
                return fail("channels must be 1..24");
            options.channels = static_cast<int>(number);
        } else if (name == "--fps") {
            if (!ToInt(value, 1, 30, number))
                return fail("fps must be 1..30");
            options.frameRate = static_cast<int>(number);
        } else if (name == "--size") {
            if (!ParseSize(value, options.width, options.height))
                return fail("size must be 352x288 or 704x576");
        } else if (name == "--preencoded") {
            if (!ToInt(value, 1, 10, number))
                return fail("preencoded must be 1..10 seconds");
            options.preencodedSeconds = static_cast<int>(number);
        } else if (name == "--audio-block") {
            if (!ToInt(value, 256, 1024, number) || (number != 256 && number != 1024))
                return fail("audio block must be 256 or 1024");
            options.audioBlockBytes = static_cast<int>(number);
        } else if (name == "--recordings") {
            options.recordings = value;
        } else if (name == "--split-at") {
            if (!ToInt(value, 1, 1031, number))
                return fail("split-at must be 1..1031");
            options.splitAt = static_cast<int>(number);
        } else if (name == "--pace") {
            if (!ToInt(value, 1, int64_t(1) << 40, number))
                return fail("pace must be a positive number of bytes per second");
            options.paceBytesPerSecond = number;
        } else {
            return fail("unknown option " + name);
        }
    }
    return true;
}

}  // namespace alder
