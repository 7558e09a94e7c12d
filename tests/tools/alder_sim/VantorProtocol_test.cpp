// The recording side of the recorder simulator, driven with plain sockets as the playback
// program's reader threads would.
#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Block = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kReplyBytes = 1032;

uint32_t U32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t(at[3]) << 24; }
uint16_t U16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

void PutU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
void PutU16(uint8_t* at, uint16_t value) { std::memcpy(at, &value, 2); }

class Socket {
public:
    Socket(const char* address, uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        inet_pton(AF_INET, address, &remote.sin_addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Socket()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void Send(const Block& block) { ASSERT_EQ(send(fd_, block.data(), block.size(), MSG_NOSIGNAL), ssize_t(block.size())); }
    // One recv of at most max bytes within timeout_ms; empty on time-out or close.
    Block ReceiveOnce(size_t max, int timeout_ms = 5000)
    {
        pollfd waiter{fd_, POLLIN, 0};
        if (poll(&waiter, 1, timeout_ms) != 1)
            return {};
        Block block(max);
        ssize_t got = recv(fd_, block.data(), max, 0);
        block.resize(got > 0 ? size_t(got) : 0);
        return block;
    }
    // Exactly count bytes, or fewer if the peer closed or went quiet for timeout_ms.
    Block Receive(size_t count, int timeout_ms = 5000)
    {
        Block all;
        while (all.size() < count) {
            Block part = ReceiveOnce(count - all.size(), timeout_ms);
            if (part.empty())
                break;
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
    // True when the peer closes within timeout_ms (data still arriving is read and dropped).
    bool ClosedWithin(int timeout_ms)
    {
        auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (Clock::now() < end) {
            pollfd waiter{fd_, POLLIN, 0};
            if (poll(&waiter, 1, 100) == 1) {
                uint8_t scratch[65536];
                if (recv(fd_, scratch, sizeof(scratch), 0) <= 0)
                    return true;
            }
        }
        return false;
    }

private:
    int fd_ = -1;
};

Block Request(uint8_t command, uint8_t id = 0, const std::string& name = "")
{
    Block block(128, 0);
    block[0] = 0x8A;
    block[1] = command;
    block[2] = id;
    std::memcpy(block.data() + 24, name.data(), std::min<size_t>(name.size(), 103));
    return block;
}

Block Search(uint32_t date, uint32_t from, uint32_t to, uint16_t channel, uint16_t type)
{
    Block block = Request(0x6F);
    PutU32(block.data() + 4, date);
    PutU32(block.data() + 12, from);
    PutU32(block.data() + 16, to);
    PutU16(block.data() + 20, channel);
    PutU16(block.data() + 22, type);
    return block;
}

struct Entry {
    uint32_t date, time;
    uint16_t type, channel;
    std::string name;
};

// Reads 0x79 pages until 0x7A; the page sizes are recorded too.
std::vector<Entry> ReadResults(Socket& query, std::vector<int>* pageSizes = nullptr)
{
    std::vector<Entry> entries;
    while (true) {
        Block reply = query.Receive(kReplyBytes);
        EXPECT_EQ(reply.size(), kReplyBytes);
        if (reply.size() != kReplyBytes || reply[1] == 0x7A)
            return entries;
        EXPECT_EQ(reply[0], 0x8A);
        EXPECT_EQ(reply[1], 0x79);
        if (pageSizes)
            pageSizes->push_back(reply[3]);
        for (int i = 0; i < reply[3] && i < 8; ++i) {
            const uint8_t* at = reply.data() + 8 + i * 128;
            entries.push_back({U32(at), U32(at + 4), U16(at + 8), U16(at + 10),
                               std::string(reinterpret_cast<const char*>(at + 12))});
        }
    }
}

Block ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Block(std::istreambuf_iterator<char>(file), {});
}

class VantorProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("alder_sim_recordings_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "chn_02");
        // One real AVI recording made by an outside encoder, stored under several names.
        sample_ = folder_ / "sample.bin";
        std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=5 "
                              "-t 2 -c:v mpeg4 -f avi '" + sample_.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    void TearDown() override
    {
        sim_.Stop();
        fs::remove_all(folder_);
    }
    void AddRecording(const std::string& relative)
    {
        fs::copy_file(sample_, folder_ / relative, fs::copy_options::overwrite_existing);
    }
    void StartSim(const char* address, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {"--address", address, "--no-live",
                                              "--recordings", folder_.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(arguments));
    }

    fs::path folder_;
    fs::path sample_;
    testsupport::AlderSimProcess sim_;
};

TEST_F(VantorProtocolTest, SearchFiltersByDateChannelTypeAndTimeInPagesOfEight)
{
    for (int minute = 0; minute < 10; ++minute)  // ten of channel 1, to need two pages
        AddRecording("2010-04-29-08" + std::string(minute < 10 ? "0" : "") +
                     std::to_string(minute) + "00 M101.avi");
    AddRecording("2010-04-29-093000 T101.avi");
    AddRecording("2010-04-29-100000 A101.avi");
    AddRecording("2010-04-30-080500 M101.avi");          // other day
    AddRecording("chn_02/2010-04-29-080500 T102.avi");    // other channel, in a subfolder
    AddRecording("2010-04-29-080500 X101.avi");           // not a recording name
    StartSim("127.0.0.30");

    Socket query("127.0.0.30", 4200);
    ASSERT_TRUE(query.ok());
    // A block without the marker is ignored and does not disturb the next request.
    Block noise(128, 0x55);
    query.Send(noise);
    query.Send(Search(20100429, 0, 235959, 1, 0));
    std::vector<int> pages;
    std::vector<Entry> all = ReadResults(query, &pages);
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(pages, (std::vector<int>{8, 4}));
    EXPECT_EQ(all[0].name, "2010-04-29-080000 M101.avi");
    EXPECT_EQ(all[0].date, 20100429u);
    EXPECT_EQ(all[0].time, 80000u);
    EXPECT_EQ(all[0].channel, 1);
    EXPECT_EQ(all[0].type, 1);
    EXPECT_EQ(all[10].type, 2);
    EXPECT_EQ(all[11].type, 3);

    query.Send(Search(20100429, 90000, 235959, 1, 3));   // alarm only, after nine
    std::vector<Entry> alarms = ReadResults(query);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].name, "2010-04-29-100000 A101.avi");

    query.Send(Search(20100429, 80200, 80400, 1, 1));    // a time window
    EXPECT_EQ(ReadResults(query).size(), 3u);

    query.Send(Search(20100429, 0, 235959, 2, 0));       // the subfolder's name uses '\'
    std::vector<Entry> second = ReadResults(query);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].name, "chn_02\\2010-04-29-080500 T102.avi");
    EXPECT_EQ(second[0].channel, 2);

    query.Send(Search(20100501, 0, 235959, 1, 0));       // nothing: only the end block
    EXPECT_TRUE(ReadResults(query).empty());
}

TEST_F(VantorProtocolTest, PlayStreamsTheExactFileAndReportsItsEnd)
{
    const std::string name = "chn_02\\2010-04-29-080500 T102.avi";
    AddRecording("chn_02/2010-04-29-080500 T102.avi");
    StartSim("127.0.0.31");
    Block expected = ReadFile(folder_ / "chn_02/2010-04-29-080500 T102.avi");

    Socket query("127.0.0.31", 4200);
    query.Send(Request(0xD3, 0, "no such file.avi"));
    Block refused = query.Receive(kReplyBytes);
    ASSERT_EQ(refused.size(), kReplyBytes);
    EXPECT_EQ(refused[1], 0xE2);
    query.Send(Request(0xD3, 0, "..\\outside.avi"));
    EXPECT_EQ(query.Receive(kReplyBytes).at(1), 0xE2);

    query.Send(Request(0xD3, 0, name));
    Block ready = query.Receive(kReplyBytes);
    ASSERT_EQ(ready.size(), kReplyBytes);
    ASSERT_EQ(ready[1], 0xE1);
    const uint8_t id = ready[2];
    EXPECT_NE(id, 0);
    EXPECT_EQ(U32(ready.data() + 4), expected.size());

    Socket wrong("127.0.0.31", 4100);
    wrong.Send(Request(0xD5, static_cast<uint8_t>(id + 1)));
    EXPECT_TRUE(wrong.ClosedWithin(3000));

    Socket transmit("127.0.0.31", 4100);
    transmit.Send(Request(0xD5, id));
    EXPECT_EQ(transmit.Receive(expected.size()), expected);
    EXPECT_EQ(query.Receive(kReplyBytes).at(1), 0xE0);
    transmit.Send(Request(0xD4, id));
    EXPECT_TRUE(transmit.ClosedWithin(3000));
}

TEST_F(VantorProtocolTest, DownloadOfTenMillionBytesArrivesComplete)
{
    const fs::path path = folder_ / "2010-04-29-120000 M103.avi";
    Block content(10'000'008);
    std::mt19937 random(7);
    for (auto& byte : content)
        byte = static_cast<uint8_t>(random());
    std::memcpy(content.data(), "RIFF", 4);
    PutU32(content.data() + 4, 10'000'000);
    std::memcpy(content.data() + 8, "AVI ", 4);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                 static_cast<std::streamsize>(content.size()));
    StartSim("127.0.0.32");

    Socket control("127.0.0.32", 4200);
    control.Send(Request(0xD6, 0, path.filename().string()));
    Block ready = control.Receive(kReplyBytes);
    ASSERT_EQ(ready.size(), kReplyBytes);
    ASSERT_EQ(ready[0], 0x8A);
    ASSERT_EQ(ready[1], 0xE3);
    Socket data("127.0.0.32", 4100);
    data.Send(Request(0xD5, ready[2]));
    Block received = data.Receive(content.size(), 10000);
    ASSERT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);
    // A download reports no end on the control connection; the client stops it.
    EXPECT_TRUE(control.ReceiveOnce(kReplyBytes, 300).empty());
    data.Send(Request(0xD4, ready[2]));
    EXPECT_TRUE(data.ClosedWithin(3000));
}

TEST_F(VantorProtocolTest, SplitRepliesArriveAsTwoSegmentsOfOneBlock)
{
    AddRecording("2010-04-29-080000 M101.avi");
    StartSim("127.0.0.33", {"--split-at", "500"});
    Socket query("127.0.0.33", 4200);
    query.Send(Search(20100429, 0, 235959, 1, 0));
    Block first = query.ReceiveOnce(kReplyBytes);
    EXPECT_EQ(first.size(), 500u);
    Block rest = query.Receive(kReplyBytes - first.size());
    EXPECT_EQ(rest.size(), 532u);
    first.insert(first.end(), rest.begin(), rest.end());
    ASSERT_EQ(first.size(), kReplyBytes);
    EXPECT_EQ(first[1], 0x79);
    EXPECT_EQ(first[3], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(first.data() + 8 + 12),
                 "2010-04-29-080000 M101.avi");
    EXPECT_EQ(query.Receive(kReplyBytes).at(1), 0x7A);
}

TEST_F(VantorProtocolTest, PacedStreamStopsOnRequest)
{
    AddRecording("2010-04-29-080000 M101.avi");
    StartSim("127.0.0.34", {"--pace", "20000"});
    const size_t size = fs::file_size(folder_ / "2010-04-29-080000 M101.avi");
    ASSERT_GT(size, 20000u);
    Socket query("127.0.0.34", 4200);
    query.Send(Request(0xD3, 0, "2010-04-29-080000 M101.avi"));
    Block ready = query.Receive(kReplyBytes);
    ASSERT_EQ(ready.at(1), 0xE1);
    Socket transmit("127.0.0.34", 4100);
    const auto start = Clock::now();
    transmit.Send(Request(0xD5, ready[2]));
    Block part = transmit.Receive(10000);
    ASSERT_EQ(part.size(), 10000u);
    // 10,000 bytes at 20,000 bytes per second take about half a second.
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(350));
    transmit.Send(Request(0xD4, ready[2]));
    EXPECT_TRUE(transmit.ClosedWithin(3000));
    EXPECT_TRUE(sim_.WaitForLine("stopped after", std::chrono::seconds(2)));
    // A stopped play reports no end.
    EXPECT_TRUE(query.ReceiveOnce(kReplyBytes, 300).empty());
}

}  // namespace
