#include "player_engine/inputs/HttpFtpInput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "player_engine/inputs/InputWrapper.h"
#include "tests/player_engine/support/TinyHttpServer.h"
#include "tests/support/TempDriveTable.h"

namespace pellix {
namespace {

std::vector<uint8_t> Pattern(size_t bytes) {
    std::vector<uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return data;
}

template <typename Condition>
bool WaitFor(Condition condition, int timeout_ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class HttpFtpInputTest : public ::testing::Test {
protected:
    suite::test::TempDriveTable drives_{"CD"};
    test::TinyHttpServer server_{"127.0.0.61"};
};

TEST_F(HttpFtpInputTest, DownloadIsReadWhileItGrowsAndCleanedUpOnClose) {
    ASSERT_TRUE(server_.Listening());
    const std::vector<uint8_t> body = Pattern(300000);
    server_.Serve("/rec.avi", {body, static_cast<size_t>(-1), 16384, 20});
    HttpFtpInput input(3);
    ASSERT_TRUE(input.Open(server_.Url("/rec.avi").c_str(), true, false));
    EXPECT_EQ(input.Size(), 300000);
    EXPECT_EQ(input.Status() & kInputStatusWaitable, kInputStatusWaitable);
    const std::string temporary = drives_.Host(input.TemporaryName());
    EXPECT_TRUE(platform::Exists(temporary));

    // Read as the bytes arrive.
    std::vector<uint8_t> read(body.size());
    size_t got = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got < body.size() && std::chrono::steady_clock::now() < until) {
        const size_t n = input.Read(read.data() + got, std::min<size_t>(50000, body.size() - got));
        got += n;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(got, body.size());
    EXPECT_EQ(read, body);
    EXPECT_EQ(input.Seek(1000, SeekOrigin::Begin), 1000);
    uint8_t byte = 0;
    ASSERT_EQ(input.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, body[1000]);
    EXPECT_EQ(input.Seek(0, SeekOrigin::Current), 1001);

    input.Close();
    EXPECT_FALSE(platform::Exists(temporary));
}

TEST_F(HttpFtpInputTest, MissingFilesAndDroppedConnectionsEndCleanly) {
    ASSERT_TRUE(server_.Listening());
    HttpFtpInput missing(4);
    EXPECT_FALSE(missing.Open(server_.Url("/none.avi").c_str(), true, false));
    EXPECT_FALSE(platform::Exists(drives_.Host(missing.TemporaryName())));

    // The server stops after 5000 of 100000 announced bytes: what arrived stays readable and
    // the download ends instead of waiting for the rest.
    server_.Serve("/cut.avi", {Pattern(100000), 5000, 0, 0});
    HttpFtpInput cut(5);
    ASSERT_TRUE(cut.Open(server_.Url("/cut.avi").c_str(), true, false));
    ASSERT_TRUE(WaitFor([&] { return cut.DownloadFinished(); }));
    EXPECT_EQ(cut.DownloadedBytes(), 5000);
    std::vector<uint8_t> read(8000);
    EXPECT_EQ(cut.Read(read.data(), read.size()), 5000u);
    EXPECT_TRUE(cut.AtEnd());

    // Nobody listening.
    HttpFtpInput refused(6);
    EXPECT_FALSE(refused.Open("http://127.0.0.62:9/x.avi", true, false));

    // Two ports download side by side into files of their own.
    server_.Serve("/a.avi", {Pattern(20000), static_cast<size_t>(-1), 0, 0});
    HttpFtpInput first(0), second(1);
    ASSERT_TRUE(first.Open(server_.Url("/a.avi").c_str(), true, false));
    ASSERT_TRUE(second.Open(server_.Url("/a.avi").c_str(), true, false));
    EXPECT_NE(first.TemporaryName(), second.TemporaryName());
}

TEST_F(HttpFtpInputTest, WrapperChoosesTheSourceByName) {
    ASSERT_TRUE(server_.Listening());
    server_.Serve("/w.avi", {Pattern(1000), static_cast<size_t>(-1), 0, 0});
    InputWrapper wrapper(2);
    EXPECT_EQ(wrapper.Size(), 0);
    EXPECT_TRUE(IsDownloadAddress("FTP://host/x.avi"));
    EXPECT_FALSE(IsDownloadAddress("D:\\VIDEO\\http\\x.avi"));
    ASSERT_TRUE(wrapper.Open(server_.Url("/w.avi").c_str(), true, false));
    EXPECT_STREQ(wrapper.Active()->DisplayName(), "HTTP/FTP Input");
    EXPECT_FALSE(wrapper.Open("other", true, false));   // one source at a time
    wrapper.Close();
    EXPECT_EQ(wrapper.Active(), nullptr);
    EXPECT_FALSE(wrapper.Open(nullptr, true, true));    // a stream needs its header first
}

}  // namespace
}  // namespace pellix
