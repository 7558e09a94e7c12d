// The camera services client against the test device (tools/onvif_sim), each case on its
// own loopback address: discovery, device information, profiles and their addresses,
// refused credentials, a camera clock far off, PTZ calls as the device sees them, a camera
// without media or PTZ, and devices that answer with noise, too much, or not at all.
#include "camera_link/OnvifClient.h"

#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using camlink::onvif::Client;
using camlink::onvif::Result;

constexpr const char* kCamera = "127.0.0.150:8554";  // only named in the stream addresses

std::string DeviceUrl(const std::string& address)
{
    return "http://" + address + ":8080/onvif/device_service";
}

// A test device on `address` with the given extra arguments, ready when Start returns.
struct Device {
    testsupport::AlderSimProcess process{"onvif_sim"};

    bool Start(const std::string& address, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {"--address", address, "--port", "8080",
                                              "--camera", kCamera};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return process.Start(arguments);
    }
};

TEST(Onvif, DiscoveryFindsTheDeviceWithItsNameAndModel)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.190", {"--name", "Gate & Yard", "--model", "SIM-200"}));
    std::vector<camlink::onvif::DiscoveredDevice> found;
    std::string error;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(camlink::onvif::Discover("127.0.0.190", camlink::onvif::kDiscoveryPort, 1500ms,
                                       found, error), Result::Ok)
        << error;
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);  // waits for late answers
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].from, "127.0.0.190");
    EXPECT_EQ(found[0].name, "Gate & Yard");  // escaped in the scope, decoded here
    EXPECT_EQ(found[0].hardware, "SIM-200");
    ASSERT_EQ(found[0].xaddrs.size(), 1u);
    EXPECT_EQ(found[0].xaddrs[0], DeviceUrl("127.0.0.190"));
    EXPECT_TRUE(device.process.WaitForLine("answered a probe", 1s));

    // The address it names is one to talk to.
    Client client(found[0].xaddrs[0], "admin", "s3cret");
    camlink::onvif::DeviceInfo info;
    EXPECT_EQ(client.GetDeviceInformation(info), Result::Ok) << client.LastError();
    EXPECT_EQ(info.model, "SIM-200");
}

TEST(Onvif, ProfilesWithTheirStreamAndSnapshotAddresses)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.191"));
    Client client(DeviceUrl("127.0.0.191"), "admin", "s3cret");
    ASSERT_EQ(client.SyncClock(), Result::Ok) << client.LastError();
    EXPECT_LE(std::abs(client.ClockOffset().count()), 2);

    camlink::onvif::DeviceInfo info;
    ASSERT_EQ(client.GetDeviceInformation(info), Result::Ok) << client.LastError();
    EXPECT_EQ(info.manufacturer, "Simulated");
    EXPECT_EQ(info.model, "SIM-100");
    EXPECT_EQ(info.serial, "SIM0001");

    std::vector<camlink::onvif::Profile> profiles;
    ASSERT_EQ(client.GetProfiles(profiles), Result::Ok) << client.LastError();
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].name, "MainStream");
    EXPECT_EQ(profiles[0].width, 1920);
    EXPECT_EQ(profiles[0].height, 1080);
    EXPECT_EQ(profiles[0].encoding, "H264");
    EXPECT_EQ(profiles[1].name, "SubStream");
    EXPECT_EQ(profiles[1].width, 640);
    EXPECT_EQ(profiles[1].height, 360);

    std::string uri;
    ASSERT_EQ(client.GetStreamUri(profiles[0].token, uri), Result::Ok) << client.LastError();
    EXPECT_EQ(uri, "rtsp://127.0.0.150:8554/main");
    ASSERT_EQ(client.GetStreamUri(profiles[1].token, uri), Result::Ok) << client.LastError();
    EXPECT_EQ(uri, "rtsp://127.0.0.150:8554/sub");
    ASSERT_EQ(client.GetSnapshotUri(profiles[1].token, uri), Result::Ok) << client.LastError();
    EXPECT_EQ(uri, "http://127.0.0.191:8080/snapshot/sub");

    // A profile the camera does not have is its fault, not a refusal.
    EXPECT_EQ(client.GetStreamUri("no_such_profile", uri), Result::Fault);
    EXPECT_NE(client.LastError().find("NoProfile"), std::string::npos) << client.LastError();
}

TEST(Onvif, WrongPasswordOrUserIsWrongCredentials)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.192"));
    camlink::onvif::DeviceInfo info;
    Client wrongPassword(DeviceUrl("127.0.0.192"), "admin", "guess");
    EXPECT_EQ(wrongPassword.GetDeviceInformation(info), Result::WrongCredentials);
    EXPECT_TRUE(device.process.WaitForLine("refused GetDeviceInformation", 1s));
    Client wrongUser(DeviceUrl("127.0.0.192"), "operator", "s3cret");
    std::vector<camlink::onvif::Profile> profiles;
    EXPECT_EQ(wrongUser.GetProfiles(profiles), Result::WrongCredentials);
    Client none(DeviceUrl("127.0.0.192"), "", "");
    EXPECT_EQ(none.GetDeviceInformation(info), Result::WrongCredentials);
    // The clock is open to anyone: the refusal is about the credentials, not the link.
    EXPECT_EQ(wrongPassword.SyncClock(), Result::Ok) << wrongPassword.LastError();
}

TEST(Onvif, CameraClockTwoHoursOffIsAcceptedOnceSynchronised)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.193", {"--clock-offset", "7200"}));
    Client client(DeviceUrl("127.0.0.193"), "admin", "s3cret");
    camlink::onvif::DeviceInfo info;
    // Our own time is two hours off the camera's: refused.
    EXPECT_EQ(client.GetDeviceInformation(info), Result::WrongCredentials);
    ASSERT_EQ(client.SyncClock(), Result::Ok) << client.LastError();
    EXPECT_NEAR(static_cast<double>(client.ClockOffset().count()), 7200.0, 2.0);
    EXPECT_EQ(client.GetDeviceInformation(info), Result::Ok) << client.LastError();

    device.process.Stop();
    Device behind;
    ASSERT_TRUE(behind.Start("127.0.0.193", {"--clock-offset", "-7200"}));
    Client late(DeviceUrl("127.0.0.193"), "admin", "s3cret");
    ASSERT_EQ(late.SyncClock(), Result::Ok) << late.LastError();
    EXPECT_NEAR(static_cast<double>(late.ClockOffset().count()), -7200.0, 2.0);
    EXPECT_EQ(late.GetDeviceInformation(info), Result::Ok) << late.LastError();
}

TEST(Onvif, DeviceAskingForHttpDigestAlsoGetsIt)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.194", {"--http-digest"}));
    Client client(DeviceUrl("127.0.0.194"), "admin", "s3cret");
    ASSERT_EQ(client.SyncClock(), Result::Ok) << client.LastError();
    std::vector<camlink::onvif::Profile> profiles;
    EXPECT_EQ(client.GetProfiles(profiles), Result::Ok) << client.LastError();
    EXPECT_EQ(profiles.size(), 2u);
    // Refused at the HTTP layer: still the credentials, not a broken link.
    Client wrong(DeviceUrl("127.0.0.194"), "admin", "guess");
    camlink::onvif::DeviceInfo info;
    EXPECT_EQ(wrong.GetDeviceInformation(info), Result::WrongCredentials) << wrong.LastError();
    EXPECT_TRUE(device.process.WaitForLine("refused HTTP digest credentials", 1s));
}

TEST(Onvif, PtzMovesStopsAndPresetsReachTheDevice)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.195"));
    Client client(DeviceUrl("127.0.0.195"), "admin", "s3cret");
    ASSERT_EQ(client.SyncClock(), Result::Ok) << client.LastError();
    auto& sim = device.process;

    EXPECT_EQ(client.ContinuousMove("profile_main", 0.5, -0.25, 0.0), Result::Ok)
        << client.LastError();
    EXPECT_TRUE(sim.WaitForLine(
        "ptz ContinuousMove profile=profile_main pan=0.500 tilt=-0.250 zoom=0.000", 2s));
    // Speeds beyond the camera's range are clamped, not sent as they came.
    EXPECT_EQ(client.ContinuousMove("profile_main", -0.0, -3.0, 7.0), Result::Ok);
    EXPECT_TRUE(sim.WaitForLine("pan=0.000 tilt=-1.000 zoom=1.000", 2s));
    EXPECT_EQ(client.Stop("profile_main"), Result::Ok) << client.LastError();
    EXPECT_TRUE(sim.WaitForLine("ptz Stop profile=profile_main", 2s));

    std::string token;
    ASSERT_EQ(client.SetPreset("profile_main", "Door", token), Result::Ok) << client.LastError();
    EXPECT_FALSE(token.empty());
    EXPECT_TRUE(sim.WaitForLine("ptz SetPreset profile=profile_main name=Door token=" + token, 2s));
    EXPECT_EQ(client.GotoPreset("profile_main", token), Result::Ok) << client.LastError();
    EXPECT_TRUE(sim.WaitForLine("ptz GotoPreset profile=profile_main token=" + token, 2s));
    EXPECT_EQ(client.RemovePreset("profile_main", token), Result::Ok) << client.LastError();
    EXPECT_TRUE(sim.WaitForLine("ptz RemovePreset profile=profile_main token=" + token, 2s));
    // A removed preset is gone on the camera too.
    EXPECT_EQ(client.GotoPreset("profile_main", token), Result::Fault);
}

TEST(Onvif, CameraWithoutMediaOrPtzSaysSo)
{
    Device device;
    ASSERT_TRUE(device.Start("127.0.0.196", {"--no-media", "--no-ptz"}));
    Client client(DeviceUrl("127.0.0.196"), "admin", "s3cret");
    std::vector<camlink::onvif::Profile> profiles;
    EXPECT_EQ(client.GetProfiles(profiles), Result::NoMediaService) << client.LastError();
    std::string uri;
    EXPECT_EQ(client.GetStreamUri("profile_main", uri), Result::NoMediaService);
    EXPECT_EQ(client.Stop("profile_main"), Result::NoPtzService);
    camlink::onvif::DeviceInfo info;
    EXPECT_EQ(client.GetDeviceInformation(info), Result::Ok) << client.LastError();
}

TEST(Onvif, NoiseAndOversizedRepliesAreErrors)
{
    camlink::onvif::DeviceInfo info;
    {
        Device device;
        ASSERT_TRUE(device.Start("127.0.0.197", {"--hostile", "garbage"}));
        Client client(DeviceUrl("127.0.0.197"), "admin", "s3cret");
        EXPECT_EQ(client.SyncClock(), Result::BadReply) << client.LastError();
        EXPECT_EQ(client.GetDeviceInformation(info), Result::BadReply) << client.LastError();
    }
    {
        Device device;
        ASSERT_TRUE(device.Start("127.0.0.198", {"--hostile", "huge"}));
        Client client(DeviceUrl("127.0.0.198"), "admin", "s3cret");
        EXPECT_EQ(client.GetDeviceInformation(info), Result::TooLarge) << client.LastError();
        std::vector<camlink::onvif::Profile> profiles;
        EXPECT_EQ(client.GetProfiles(profiles), Result::TooLarge) << client.LastError();
    }
}

// A TCP listener on 127.0.0.199:8080 that sends each connection `answer` (nothing when empty,
// then holds it open) until stopped.
class RawServer {
public:
    explicit RawServer(std::string answer) : answer_(std::move(answer))
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(8080);
        inet_pton(AF_INET, "127.0.0.199", &address.sin_addr);
        listening_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     listen(fd_, 4) == 0;
        thread_ = std::thread([this] {
            while (!stop_) {
                int client = accept(fd_, nullptr, nullptr);
                if (client < 0)
                    break;
                if (!answer_.empty())
                    (void)!write(client, answer_.data(), answer_.size());
                clients_.push_back(client);
            }
        });
    }
    ~RawServer()
    {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
        for (int client : clients_)
            close(client);
    }
    bool Listening() const { return listening_; }

private:
    std::string answer_;
    int fd_ = -1;
    bool listening_ = false;
    std::atomic<bool> stop_{false};
    std::vector<int> clients_;  // Server thread only until joined
    std::thread thread_;
};

TEST(Onvif, NonHttpAnswerIsBadReplyAndSilenceTimesOut)
{
    camlink::onvif::DeviceInfo info;
    {
        RawServer server("\x16\x03\x01 this is no HTTP at all\r\n\r\n<<<>>>");
        ASSERT_TRUE(server.Listening());
        Client client(DeviceUrl("127.0.0.199"), "admin", "s3cret");
        EXPECT_EQ(client.GetDeviceInformation(info), Result::BadReply) << client.LastError();
    }
    {
        RawServer server("");
        ASSERT_TRUE(server.Listening());
        Client client(DeviceUrl("127.0.0.199"), "admin", "s3cret");
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.GetDeviceInformation(info), Result::Unreachable) << client.LastError();
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 4500ms);
        EXPECT_LE(took, 7000ms);
    }
}

}  // namespace
