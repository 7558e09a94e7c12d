#include "player_engine/inputs/HttpFtpInput.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "common/TraceMessage.h"

namespace pellix {

namespace {

constexpr const char* kAgentName = "Pellix HTTP/FTP Input";
// How long Open waits for the server's reply before giving up.
constexpr uint32_t kReplyTimeoutMs = 15000;
constexpr long kConnectTimeoutSeconds = 10;
// A transfer that delivers nothing for this long is given up, so Close never waits on a
// server that went silent.
constexpr long kStallSeconds = 30;

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

class HttpFtpInput::DownloadThread final : public platform::Thread {
public:
    explicit DownloadThread(HttpFtpInput& owner) : owner_(owner) {}
    ~DownloadThread() override { KillThread(); }

protected:
    uint32_t Run() override {
        owner_.Download();
        return 0;
    }

private:
    HttpFtpInput& owner_;
};

HttpFtpInput::HttpFtpInput(int port) : port_(port) {
    char name[64];
    std::snprintf(name, sizeof name, "c:\\temp_port%02d.avi", port_);
    temporary_name_ = name;
}

HttpFtpInput::~HttpFtpInput() { Close(); }

bool HttpFtpInput::Open(const char* name, bool binary, bool stream) {
    (void)binary;
    (void)stream;
    Close();
    if (name == nullptr || name[0] == '\0') return false;
    address_ = name;
    {
        std::lock_guard guard(lock_);
        if (!writer_.Open(temporary_name_, platform::File::Mode::CreateAlways) ||
            !reader_.Open(temporary_name_, platform::File::Mode::Read)) {
            TraceMessage("HTTP/FTP Input: temporary file %s not created", temporary_name_.c_str());
            writer_.Close();
            reader_.Close();
            return false;
        }
    }
    InitialiseCurlOnce();
    stop_.store(false);
    finished_.store(false);
    reply_ok_.store(false);
    reply_known_.Reset();
    announced_.store(kUnknownLength);
    downloaded_.store(0);
    thread_ = std::make_unique<DownloadThread>(*this);
    thread_->Resume();
    platform::WaitForOne(&reply_known_, kReplyTimeoutMs);
    if (!reply_ok_.load()) {
        TraceMessage("HTTP/FTP Input: %s could not be opened", address_.c_str());
        Close();
        return false;
    }
    return true;
}

void HttpFtpInput::Close() {
    stop_.store(true);
    if (thread_) {
        thread_->KillThread();
        thread_.reset();
    }
    std::lock_guard guard(lock_);
    const bool had_file = writer_.IsOpen() || reader_.IsOpen();
    writer_.Close();
    reader_.Close();
    if (had_file) platform::DeleteFile(temporary_name_);
    read_position_ = 0;
    at_end_ = false;
    address_.clear();
}

size_t HttpFtpInput::OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<HttpFtpInput*>(user);
    const size_t bytes = size * count;
    if (self->stop_.load()) return 0;
    std::lock_guard guard(self->lock_);
    if (!self->writer_.Write(data, bytes)) return 0;
    self->downloaded_.fetch_add(static_cast<int64_t>(bytes));
    if (!self->reply_ok_.load()) {
        // The first bytes of the body: the server accepted the request and has said how long
        // the file is, if it knows.
        curl_off_t length = -1;
        if (curl_easy_getinfo(static_cast<CURL*>(self->curl_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
            length >= 0)
            self->announced_.store(length);
        self->reply_ok_.store(true);
        self->reply_known_.Set();
    }
    return bytes;
}

int HttpFtpInput::OnProgress(void* user, int64_t, int64_t, int64_t, int64_t) {
    return static_cast<HttpFtpInput*>(user)->stop_.load() ? 1 : 0;
}

void HttpFtpInput::Download() {
    CURL* curl = curl_easy_init();
    curl_ = curl;
    if (curl == nullptr) {
        finished_.store(true);
        reply_known_.Set();
        return;
    }
    curl_easy_setopt(curl, CURLOPT_URL, address_.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgentName);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,ftp");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,ftp");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpFtpInput::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpFtpInput::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK && !stop_.load())
        TraceMessage("HTTP/FTP Input: download of %s ended after %lld bytes: %s", address_.c_str(),
                     static_cast<long long>(downloaded_.load()), curl_easy_strerror(result));
    if (result == CURLE_OK) {
        // Complete: the file is as long as what arrived, whatever was announced.
        announced_.store(downloaded_.load());
        reply_ok_.store(true);
    }
    curl_easy_cleanup(curl);
    curl_ = nullptr;
    finished_.store(true);
    reply_known_.Set();
}

size_t HttpFtpInput::Read(void* buffer, size_t bytes) {
    std::lock_guard guard(lock_);
    if (!reader_.IsOpen() || buffer == nullptr) return 0;
    if (reader_.Seek(read_position_, platform::File::Origin::Begin) != read_position_) return 0;
    const int64_t got = reader_.Read(buffer, bytes);
    const size_t copied = got > 0 ? static_cast<size_t>(got) : 0;
    read_position_ += static_cast<int64_t>(copied);
    at_end_ = copied < bytes;
    return copied;
}

int64_t HttpFtpInput::Seek(int64_t offset, SeekOrigin origin) {
    std::lock_guard guard(lock_);
    if (!reader_.IsOpen()) return -1;
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = read_position_;
    if (origin == SeekOrigin::End) base = announced_.load();
    if (base + offset < 0) return -1;
    read_position_ = base + offset;
    at_end_ = false;
    return read_position_;
}

int64_t HttpFtpInput::Size() const { return announced_.load(); }

bool HttpFtpInput::AtEnd() const {
    std::lock_guard guard(lock_);
    return at_end_;
}

}  // namespace pellix
