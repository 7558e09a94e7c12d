#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace pellix::test {

// An HTTP/1.0 server on one loopback address and a free port, for the download source's
// tests. Each path serves a body; a body may be cut short (the connection closes after
// `sent_bytes` while the announced length stays whole) or be sent slowly in pieces.
class TinyHttpServer {
public:
    struct Resource {
        std::vector<uint8_t> body;
        size_t sent_bytes = static_cast<size_t>(-1);   // bytes actually sent
        size_t piece_bytes = 0;                        // 0: all at once
        int piece_delay_ms = 0;
    };

    explicit TinyHttpServer(const std::string& address);
    ~TinyHttpServer();

    void Serve(const std::string& path, Resource resource) { resources_[path] = std::move(resource); }
    std::string Url(const std::string& path) const;
    bool Listening() const { return listen_fd_ >= 0; }

private:
    void Loop();
    void Answer(int fd);

    std::string address_;
    int port_ = 0;
    int listen_fd_ = -1;
    std::atomic<bool> stop_{false};
    std::map<std::string, Resource> resources_;
    std::thread thread_;
};

}  // namespace pellix::test
