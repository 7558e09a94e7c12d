#include "tools/alder_sim/SimNet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace alder {

void LogEvent(const char* format, ...)
{
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    va_list arguments;
    va_start(arguments, format);
    std::fputs("alder_sim: ", stdout);
    std::vfprintf(stdout, format, arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    va_end(arguments);
}

bool TcpServer::Start(const std::string& address, uint16_t port, Handler handler,
                      std::string* error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        *error = "bad address " + address;
        return false;
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(listenFd_, 64) != 0) {
        *error = "cannot listen on " + address + ":" + std::to_string(port) + ": " +
                 std::strerror(errno);
        if (listenFd_ >= 0)
            close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    handler_ = std::move(handler);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TcpServer::AcceptLoop()
{
    while (!stopping_) {
        pollfd waiter{listenFd_, POLLIN, 0};
        if (poll(&waiter, 1, 200) <= 0)
            continue;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        std::lock_guard<std::mutex> guard(lock_);
        ReapFinished();
        connections_.insert(fd);
        Connection& served = served_.emplace_back();
        served.thread = std::thread([this, fd, &served] {
            handler_(fd);
            std::lock_guard<std::mutex> guard(lock_);
            connections_.erase(fd);
            close(fd);
            served.finished = true;
        });
    }
}

// Joins the threads of connections already served. Called with lock_ held; a finished thread
// no longer takes the lock, so joining it here cannot wait on us.
void TcpServer::ReapFinished()
{
    for (auto it = served_.begin(); it != served_.end();) {
        if (!it->finished) {
            ++it;
            continue;
        }
        it->thread.join();
        it = served_.erase(it);
    }
}

int TcpServer::DropConnections()
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int fd : connections_)
        shutdown(fd, SHUT_RDWR);
    return static_cast<int>(connections_.size());
}

bool TcpServer::WaitUntilIdle(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ReapFinished();
            if (served_.empty())
                return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void TcpServer::Stop()
{
    if (listenFd_ < 0)
        return;
    stopping_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    close(listenFd_);
    listenFd_ = -1;
    std::list<Connection> served;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (int fd : connections_)
            shutdown(fd, SHUT_RDWR);
        served.splice(served.end(), served_);
    }
    // Joined, not only counted down: a connection thread must be gone, its last unlock
    // included, before the server's memory may be released.
    for (Connection& connection : served)
        connection.thread.join();
}

}  // namespace alder
