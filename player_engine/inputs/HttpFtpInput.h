#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "player_engine/inputs/Input.h"

namespace pellix {

// A file named by an "http://" or "ftp://" address, downloaded into a temporary file of the
// port while it is read. Reads see whatever has arrived so far.
//
// Threads: the download thread appends to the temporary file; readers run on the port's
// threads. Both take lock_ around the file positions and counters.
class HttpFtpInput final : public Input {
public:
    // Length assumed until the server announces one.
    static constexpr int64_t kUnknownLength = 1024000;

    explicit HttpFtpInput(int port);
    ~HttpFtpInput() override;

    const char* DisplayName() const override { return "HTTP/FTP Input"; }

    bool Open(const char* name, bool binary, bool stream) override;
    void Close() override;
    size_t Read(void* buffer, size_t bytes) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() const override;
    bool AtEnd() const override;
    uint32_t Status() const override { return kInputStatusWaitable; }

    // Windows-form name of the temporary file of this port.
    const std::string& TemporaryName() const { return temporary_name_; }
    int64_t DownloadedBytes() const { return downloaded_.load(); }
    // True once the download thread has finished (complete, failed or stopped).
    bool DownloadFinished() const { return finished_.load(); }

private:
    class DownloadThread;
    friend class DownloadThread;

    void Download();
    static size_t OnBody(char* data, size_t size, size_t count, void* user);
    static int OnProgress(void* user, int64_t, int64_t, int64_t, int64_t);

    const int port_;
    std::string address_;
    std::string temporary_name_;

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    platform::File writer_;
    platform::File reader_;
    int64_t read_position_ = 0;
    bool at_end_ = false;

    std::atomic<int64_t> announced_{kUnknownLength};
    std::atomic<int64_t> downloaded_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    // Set by the download thread once the reply's status is known (or the transfer failed).
    platform::Event reply_known_{platform::EventReset::Manual};
    std::atomic<bool> reply_ok_{false};
    void* curl_ = nullptr;                      // Download thread only
    std::unique_ptr<DownloadThread> thread_;   // httpThread
};

}  // namespace pellix
