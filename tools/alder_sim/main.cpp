// alder_sim: a capture-card recorder of 24 channels on one machine. The live side streams
// MPEG-4 video and ADPCM sound per channel to the media-transmit library; the recording
// side serves a folder of AVI recordings over the recording protocol.
#include "common/CommandHelp.h"
#include "tools/alder_sim/ChannelSource.h"
#include "tools/alder_sim/LiveServer.h"
#include "tools/alder_sim/SimNet.h"
#include "tools/alder_sim/SimOptions.h"
#include "tools/alder_sim/VantorServer.h"

#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Simulator {
    alder::SimOptions options;
    std::vector<std::unique_ptr<alder::ChannelSource>> channels;
    std::unique_ptr<alder::LiveServer> live;
    std::unique_ptr<alder::VantorServer> vantor;

    std::mutex lock;
    std::condition_variable quit;
    bool quitting = false;  // Guarded by lock

    void RequestQuit()
    {
        std::lock_guard<std::mutex> guard(lock);
        quitting = true;
        quit.notify_all();
    }

    void Drop()
    {
        int dropped = live ? live->DropAll() : 0;
        alder::LogEvent("dropped %d live connections", dropped);
    }

    // Channels named by a command word: a number from 1, or "all".
    std::vector<alder::ChannelSource*> Select(const std::string& word)
    {
        std::vector<alder::ChannelSource*> selected;
        if (word == "all") {
            for (auto& channel : channels)
                selected.push_back(channel.get());
            return selected;
        }
        try {
            int number = std::stoi(word);
            if (number >= 1 && number <= static_cast<int>(channels.size()))
                selected.push_back(channels[static_cast<size_t>(number - 1)].get());
        } catch (...) {
        }
        return selected;
    }

    void Command(const std::string& line)
    {
        std::istringstream words(line);
        std::string verb, target, value;
        words >> verb >> target >> value;
        if (verb.empty())
            return;
        if (verb == "quit") {
            RequestQuit();
            return;
        }
        if (verb == "drop") {
            Drop();
            return;
        }
        std::vector<alder::ChannelSource*> selected = Select(target);
        if (selected.empty()) {
            alder::LogEvent("command \"%s\" not understood", line.c_str());
            return;
        }
        if (verb == "format") {
            int width = 0, height = 0;
            if (!value.empty() && !alder::ParseSize(value, width, height)) {
                alder::LogEvent("format must be 352x288 or 704x576");
                return;
            }
            for (auto* channel : selected)
                channel->ChangeSize(width, height);
            alder::LogEvent("format %s %s", target.c_str(), value.empty() ? "switched" : value.c_str());
        } else if (verb == "audio" && (value == "256" || value == "1024")) {
            for (auto* channel : selected)
                channel->SetAudioBlockBytes(std::stoi(value));
            alder::LogEvent("audio %s %s", target.c_str(), value.c_str());
        } else if (verb == "playoff" && (value == "0" || value == "1")) {
            for (auto* channel : selected)
                channel->SetPlayOff(value == "1");
            alder::LogEvent("playoff %s %s", target.c_str(), value.c_str());
        } else {
            alder::LogEvent("command \"%s\" not understood", line.c_str());
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // What the simulator is, then the option lines of the usage text below its first line.
    const std::string help =
        "A simulated capture-card recorder: live streams of up to 24 channels with ADPCM sound,\n"
        "and the recording query and transmit ports serving AVI recordings, for testing and\n"
        "demonstrating the live client and the playback program without recorder hardware.\n"
        "\nOptions:\n"
        "  --help               print this text and exit\n"
        "  --version            print the version and exit\n" +
        std::string(std::strchr(alder::UsageText(), '\n') + 1);
    if (suite::AnswerHelpOrVersion(argc, argv, "[options]", help.c_str()))
        return 0;
    auto simulator = std::make_unique<Simulator>();
    std::string error;
    if (!alder::ParseOptions(argc, argv, simulator->options, &error)) {
        std::fprintf(stderr, "alder_sim: %s\n%s", error.c_str(), alder::UsageText());
        return 2;
    }
    const alder::SimOptions& options = simulator->options;

    // Signals go to one thread that waits for them; every other thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    for (int channel = 0; channel < 24; ++channel)
        simulator->channels.push_back(std::make_unique<alder::ChannelSource>(
            channel, options.width, options.height, options.frameRate, options.audioBlockBytes,
            options.preencodedSeconds * options.frameRate));
    if (options.live) {
        simulator->live = std::make_unique<alder::LiveServer>(options, simulator->channels);
        if (!simulator->live->Start(&error)) {
            std::fprintf(stderr, "alder_sim: %s\n", error.c_str());
            return 1;
        }
    }
    if (options.vantor) {
        simulator->vantor = std::make_unique<alder::VantorServer>(options);
        if (!simulator->vantor->Start(&error)) {
            std::fprintf(stderr, "alder_sim: %s\n", error.c_str());
            return 1;
        }
    }

    std::thread([&simulator = *simulator, signals] {
        while (true) {
            int received = 0;
            if (sigwait(&signals, &received) != 0)
                continue;
            if (received == SIGUSR1)
                simulator.Drop();
            else if (received == SIGUSR2)
                simulator.Command("format all");
            else {
                simulator.RequestQuit();
                return;
            }
        }
    }).detach();
    // Standard input may be closed (a demo started without a terminal): the simulator then
    // runs on until it is signalled.
    std::thread([&simulator = *simulator] {
        std::string line;
        while (std::getline(std::cin, line))
            simulator.Command(line);
    }).detach();

    uint16_t mediaPort = options.mediaPort ? options.mediaPort
                                           : static_cast<uint16_t>(options.livePort + 1);
    alder::LogEvent("ready address=%s live=%u media=%u query=%u transmit=%u",
                    options.address.c_str(), options.live ? options.livePort : 0,
                    options.live ? mediaPort : 0, options.vantor ? options.queryPort : 0,
                    options.vantor ? options.transmitPort : 0);
    {
        std::unique_lock<std::mutex> guard(simulator->lock);
        simulator->quit.wait(guard, [&] { return simulator->quitting; });
    }
    if (simulator->live)
        simulator->live->Stop();
    if (simulator->vantor)
        simulator->vantor->Stop();
    simulator->channels.clear();
    alder::LogEvent("stopped");
    // The input thread may still sit in a read; leave without unwinding it.
    std::fflush(stdout);
    _exit(0);
}
