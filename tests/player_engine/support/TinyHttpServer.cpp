#include "tests/player_engine/support/TinyHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace pellix::test {

TinyHttpServer::TinyHttpServer(const std::string& address) : address_(address) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listen_fd_ < 0) return;
    int yes = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = 0;
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    socklen_t length = sizeof addr;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_fd_, 8) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        close(listen_fd_);
        listen_fd_ = -1;
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Loop(); });
}

TinyHttpServer::~TinyHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_fd_ >= 0) close(listen_fd_);
}

std::string TinyHttpServer::Url(const std::string& path) const {
    return "http://" + address_ + ":" + std::to_string(port_) + path;
}

void TinyHttpServer::Loop() {
    while (!stop_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept(listen_fd_, nullptr, nullptr);
        if (fd < 0) continue;
        Answer(fd);
        close(fd);
    }
}

void TinyHttpServer::Answer(int fd) {
    std::string request;
    char buffer[2048];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (request.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<size_t>(got));
    }
    const size_t space = request.find(' ');
    const size_t end = request.find(' ', space + 1);
    const std::string path = space == std::string::npos ? "" : request.substr(space + 1, end - space - 1);
    auto found = resources_.find(path);
    if (found == resources_.end()) {
        const char* reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        send(fd, reply, strlen(reply), MSG_NOSIGNAL);
        return;
    }
    const Resource& r = found->second;
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/avi\r\nContent-Length: " +
                             std::to_string(r.body.size()) + "\r\n\r\n";
    if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0) return;
    const size_t total = std::min(r.sent_bytes, r.body.size());
    const size_t piece = r.piece_bytes == 0 ? total : r.piece_bytes;
    for (size_t at = 0; at < total && !stop_;) {
        const size_t n = std::min(piece, total - at);
        const ssize_t sent = send(fd, r.body.data() + at, n, MSG_NOSIGNAL);
        if (sent <= 0) return;
        at += static_cast<size_t>(sent);
        if (r.piece_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.piece_delay_ms));
    }
}

}  // namespace pellix::test
