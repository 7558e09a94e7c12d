// Finding cameras through the camera link: probes sent only to the loopback addresses a test
// names (each case its own), answered by the test device (tools/onvif_sim) or by a stand-in
// that answers with what a test wants, hostile answers among them.
#include "camera_link/Camlink.h"

#include "tests/camera_link/ProbeResponder.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Device {
    testsupport::AlderSimProcess process{"onvif_sim"};
    bool Start(const std::string& address, const std::string& port, const std::string& name,
               const std::string& model)
    {
        return process.Start({"--address", address, "--port", port, "--camera",
                              "127.0.0.229:8554", "--name", name, "--model", model});
    }
};

std::vector<CML_DISCOVERED> Discover(const char* targets, int waitMs, int* result,
                                     int max = 16)
{
    std::vector<CML_DISCOVERED> found(static_cast<size_t>(max));
    int count = -1;
    *result = CMLDiscover(targets, 0, waitMs, found.data(), max, &count);
    found.resize(static_cast<size_t>(std::max(count, 0)));
    std::sort(found.begin(), found.end(), [](const CML_DISCOVERED& a, const CML_DISCOVERED& b) {
        return std::strcmp(a.szServiceUrl, b.szServiceUrl) < 0;
    });
    return found;
}

bool ValidUtf8(const std::string& text)
{
    for (size_t k = 0; k < text.size();) {
        const auto lead = static_cast<unsigned char>(text[k]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                                                : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || k + length > text.size())
            return false;
        for (size_t c = 1; c < length; ++c)
            if ((static_cast<unsigned char>(text[k + c]) & 0xC0) != 0x80)
                return false;
        k += length;
    }
    return true;
}

TEST(CamlinkDiscover, TwoCamerasAreListedOnceEachWithAddressServicesPortModelAndName)
{
    Device front, gate;
    ASSERT_TRUE(front.Start("127.0.0.220", "8080", "Front Door", "SIM-100"));
    ASSERT_TRUE(gate.Start("127.0.0.221", "8081", "Gate & Yard", "SIM-200"));

    // One address named twice: its camera answers both probes but is listed once.
    int result = -1;
    const auto start = Clock::now();
    std::vector<CML_DISCOVERED> found =
        Discover("127.0.0.220, 127.0.0.221\t127.0.0.220,", 1500, &result);
    const auto took = Clock::now() - start;
    ASSERT_EQ(result, CML_OK);
    EXPECT_GE(took, 1400ms);  // late answers are waited for, all targets within one wait
    EXPECT_LT(took, 2500ms);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_STREQ(found[0].szAddress, "127.0.0.220");
    EXPECT_EQ(found[0].wOnvifPort, 8080);
    EXPECT_STREQ(found[0].szModel, "SIM-100");
    EXPECT_STREQ(found[0].szName, "Front Door");
    EXPECT_STREQ(found[0].szServiceUrl, "http://127.0.0.220:8080/onvif/device_service");
    EXPECT_STREQ(found[1].szAddress, "127.0.0.221");
    EXPECT_EQ(found[1].wOnvifPort, 8081);
    EXPECT_STREQ(found[1].szModel, "SIM-200");
    EXPECT_STREQ(found[1].szName, "Gate & Yard");  // escaped in the scope, plain here
    EXPECT_EQ(front.process.CountLines("answered a probe"), 2);

    // Room for one: one written, and the count says so.
    found = Discover("127.0.0.220 127.0.0.221", 500, &result, 1);
    EXPECT_EQ(result, CML_OK);
    EXPECT_EQ(found.size(), 1u);
}

TEST(CamlinkDiscover, HostileAnswersAreSkippedAndOddOnesAreReadSafely)
{
    using testsupport::ProbeResponder;
    const std::string scopes = "onvif://www.onvif.org/hardware/ODD-1 onvif://www.onvif.org/name/";
    std::string longName;
    for (int k = 0; k < 100; ++k)
        longName += "%C3%A9";  // "é" a hundred times: 200 bytes, more than the field takes
    ProbeResponder responder(
        "127.0.0.222",
        {
            std::string("\x00\xff\x13garbage", 10),
            "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>",
            ProbeResponder::Match("urn:uuid:another-probe", "urn:a",
                                  scopes + "Stranger", "http://127.0.0.222:1000/x"),
            std::string(60000, '<'),
            "<!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><e>&c;&c;&c;&c;&c;&c;</e>",
            // Service addresses nothing can be made of: not listed.
            ProbeResponder::Match("{ID}", "urn:b", scopes + "Unusable",
                                  "ftp://127.0.0.222/x http:// http://127.0.0.222:0/x"),
            ProbeResponder::Match("{ID}", "urn:c", scopes + "NoXAddrs", ""),
            // No port in the address: port 80; the long name cut whole characters.
            ProbeResponder::Match("{ID}", "urn:d", scopes + longName,
                                  "http://127.0.0.222/onvif/device_service"),
            // The same service address under another endpoint: listed once.
            ProbeResponder::Match("{ID}", "urn:e", scopes + "Twin",
                                  "http://127.0.0.222/onvif/device_service"),
            // A secure address first: the plain one is what a login talks to.
            ProbeResponder::Match("{ID}", "urn:f", scopes + "Both",
                                  "https://127.0.0.222/s http://127.0.0.222:8090/p"),
            ProbeResponder::Match("{ID}", "urn:g", scopes + "Six", "http://[::1]:8091/six"),
        });
    ASSERT_TRUE(responder.Bound());

    int result = -1;
    std::vector<CML_DISCOVERED> found = Discover("127.0.0.222", 1000, &result);
    ASSERT_EQ(result, CML_OK);
    ASSERT_EQ(found.size(), 3u);  // in the order of their service addresses
    EXPECT_STREQ(found[0].szAddress, "127.0.0.222");
    EXPECT_EQ(found[0].wOnvifPort, 80);
    EXPECT_STREQ(found[0].szModel, "ODD-1");
    const std::string name = found[0].szName;
    EXPECT_EQ(name.size(), 62u);  // 31 whole characters of two bytes in 63
    EXPECT_TRUE(ValidUtf8(name));
    EXPECT_STREQ(found[1].szAddress, "127.0.0.222");
    EXPECT_EQ(found[1].wOnvifPort, 8090);
    EXPECT_STREQ(found[1].szName, "Both");
    EXPECT_STREQ(found[2].szAddress, "[::1]");  // as the slot's address field takes it
    EXPECT_EQ(found[2].wOnvifPort, 8091);
}

TEST(CamlinkDiscover, NoAnswerBadTargetsAndCancelling)
{
    // Nobody at the address: an empty list, after the whole wait.
    int result = -1;
    auto start = Clock::now();
    std::vector<CML_DISCOVERED> found = Discover("127.0.0.223", 800, &result);
    EXPECT_EQ(result, CML_OK);
    EXPECT_TRUE(found.empty());
    EXPECT_GE(Clock::now() - start, 750ms);

    // A target that is no address is refused at once, never looked up.
    start = Clock::now();
    Discover("127.0.0.223, camera.example", 800, &result);
    EXPECT_EQ(result, CML_ERR_PARAMETER);
    EXPECT_LT(Clock::now() - start, 200ms);
    CML_DISCOVERED entry;
    int count = -1;
    EXPECT_EQ(CMLDiscover("127.0.0.223", 0, 800, nullptr, 1, &count), CML_ERR_PARAMETER);
    EXPECT_EQ(CMLDiscover("127.0.0.223", 0, 800, &entry, 1, nullptr), CML_ERR_PARAMETER);
    EXPECT_EQ(CMLDiscover("127.0.0.223", 0, 800, &entry, 0, &count), CML_ERR_PARAMETER);
    EXPECT_EQ(CMLDiscover("127.0.0.223", 0, 0, &entry, 1, &count), CML_ERR_PARAMETER);
    EXPECT_EQ(CMLDiscover("127.0.0.223", 70000, 800, &entry, 1, &count), CML_ERR_PARAMETER);
    EXPECT_EQ(count, 0);

    // Cancelling ends a long wait at once.
    auto running = std::async(std::launch::async, [] {
        int code = -1;
        Discover("127.0.0.224", 20000, &code);
        return code;
    });
    std::this_thread::sleep_for(200ms);
    start = Clock::now();
    ASSERT_EQ(CMLCancelDiscover(), CML_OK);
    ASSERT_EQ(running.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(running.get(), CML_ERR_CANCELLED);
    EXPECT_LT(Clock::now() - start, 300ms);
}

}  // namespace
