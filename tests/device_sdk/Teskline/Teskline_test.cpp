// libTeskline answers hole punching from a table file; every result the live client
// distinguishes must be scriptable.
#include "device_sdk/Teskline/Teskline.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The arrays of one call, sized as the live client allocates them.
struct HoleCall {
    unsigned short servicePorts[20] = {8000, 8001};
    unsigned int domainIps[20] = {};
    unsigned short clientPorts[20] = {6000, 6000};
    unsigned short dvrLocalPorts[20] = {};
    unsigned char further[80];
    unsigned short clientNatPorts[20] = {};

    HoleCall() { std::fill(std::begin(further), std::end(further), 0xEE); }
    int Run(const char* name)
    {
        return PelStartTESKMakeHole(name, servicePorts, 1, domainIps, clientPorts, dvrLocalPorts,
                                    further, clientNatPorts);
    }
    std::string Address(int index) const
    {
        in_addr address{domainIps[index]};
        return inet_ntoa(address);
    }
};

class TesklineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table_ = fs::temp_directory_path() / ("teskline_" + std::to_string(getpid()) + ".tab");
        setenv("TESKLINE_TABLE", table_.c_str(), 1);
    }
    void TearDown() override
    {
        fs::remove(table_);
        unsetenv("TESKLINE_TABLE");
    }
    void WriteTable(const std::string& text) { std::ofstream(table_) << text; }

    fs::path table_;
};

TEST_F(TesklineTest, EveryScriptedResultCodeIsAnsweredWithItsData)
{
    WriteTable("# name rc fields\n"
               "fail3.dvr   -3\n"
               "fail2.dvr   -2\n"
               "fail1.dvr   -1\n"
               "offline.dvr  0\n"
               "Plain.DVR    1 ip=127.0.0.26\n"
               "ports.dvr    2 ip=127.0.0.27,127.0.0.28 service=9000,9001 local=8000,8001 nat=40000,40001\n"
               "three.dvr    3 ip=127.0.0.29\n"
               "three-none.dvr 3\n"
               "four.dvr     4 ip=127.0.0.29\n"
               "late.dvr     5\n"
               "other.dvr    7\n");
    for (int rc : {-3, -2, -1, 0}) {
        HoleCall call;
        std::string name = rc < 0 ? "fail" + std::to_string(-rc) + ".dvr" : "offline.dvr";
        EXPECT_EQ(call.Run(name.c_str()), rc) << name;
        EXPECT_EQ(call.domainIps[0], 0u) << name;
    }

    HoleCall plain;
    EXPECT_EQ(plain.Run("plain.dvr"), 1) << "names compare without case";
    EXPECT_EQ(plain.Address(0), "127.0.0.26");
    EXPECT_EQ(plain.domainIps[1], 0u);
    EXPECT_EQ(plain.servicePorts[0], 8000) << "ports the answer does not name stay";
    EXPECT_EQ(plain.further[0], 0) << "the further area is cleared";

    HoleCall ports;
    EXPECT_EQ(ports.Run("ports.dvr"), 2);
    EXPECT_EQ(ports.Address(0), "127.0.0.27");
    EXPECT_EQ(ports.Address(1), "127.0.0.28");
    EXPECT_EQ(ports.domainIps[2], 0u);
    EXPECT_EQ(ports.servicePorts[0], 9000);
    EXPECT_EQ(ports.servicePorts[1], 9001);
    EXPECT_EQ(ports.dvrLocalPorts[1], 8001);
    EXPECT_EQ(ports.clientNatPorts[0], 40000);
    EXPECT_EQ(ports.clientPorts[0], 6000);

    HoleCall three, threeNone, four, late, other;
    EXPECT_EQ(three.Run("three.dvr"), 3);
    EXPECT_NE(three.domainIps[0], 0u);
    EXPECT_EQ(threeNone.Run("three-none.dvr"), 3);
    EXPECT_EQ(threeNone.domainIps[0], 0u);
    EXPECT_EQ(four.Run("four.dvr"), 4);
    EXPECT_EQ(late.Run("late.dvr"), 5);
    EXPECT_EQ(other.Run("other.dvr"), 7);

    HoleCall unknown;
    EXPECT_EQ(unknown.Run("nobody.dvr"), TESK_RC_UNKNOWN_NAME);
}

TEST_F(TesklineTest, RepeatedLinesAnswerSuccessiveCallsAndLastOneRepeats)
{
    WriteTable("flaky.dvr 5\n"
               "flaky.dvr 0\n"
               "flaky.dvr 2 ip=127.0.0.30 service=7000,7001\n"
               "bad.dvr 2 ip=999.1.1.1\n"
               "bad.dvr x\n");
    int answers[4];
    for (int& answer : answers) {
        HoleCall call;
        answer = call.Run("flaky.dvr");
    }
    EXPECT_EQ(answers[0], 5);
    EXPECT_EQ(answers[1], 0);
    EXPECT_EQ(answers[2], 2);
    EXPECT_EQ(answers[3], 2);
    HoleCall bad;
    EXPECT_EQ(bad.Run("bad.dvr"), TESK_RC_UNKNOWN_NAME) << "unreadable lines give no answer";
}

TEST_F(TesklineTest, MissingTableAndMissingArraysFail)
{
    HoleCall call;
    EXPECT_EQ(call.Run("any.dvr"), TESK_RC_NO_TABLE);
    WriteTable("any.dvr 1 ip=127.0.0.31\n");
    EXPECT_EQ(call.Run(nullptr), TESK_RC_BAD_ARGUMENT);
    EXPECT_EQ(PelStartTESKMakeHole("any.dvr", call.servicePorts, 1, nullptr, call.clientPorts,
                                   call.dvrLocalPorts, call.further, call.clientNatPorts),
              TESK_RC_BAD_ARGUMENT);
    EXPECT_EQ(call.Run("any.dvr"), 1);
}

}  // namespace
