#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace alder {

// Writes one line of the simulator's event log to standard output (tests read it).
void LogEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Listening TCP socket with an accept thread; each accepted connection is served on a
// thread of its own. Stop closes the listener, shuts every served connection down and
// joins their threads.
class TcpServer {
public:
    using Handler = std::function<void(int fd)>;

    ~TcpServer() { Stop(); }
    bool Start(const std::string& address, uint16_t port, Handler handler, std::string* error);
    void Stop();
    // Shuts every connection being served down; they end as their peers would see a loss.
    int DropConnections();
    // Waits until every accepted connection has been served to its end; false when one is
    // still being served after `limit`.
    bool WaitUntilIdle(std::chrono::milliseconds limit);

private:
    struct Connection {
        std::thread thread;
        bool finished = false;  // Guarded by lock_
    };

    void AcceptLoop();
    void ReapFinished();

    int listenFd_ = -1;
    Handler handler_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::set<int> connections_;     // Guarded by lock_
    std::list<Connection> served_;  // Guarded by lock_: threads of accepted connections
};

}  // namespace alder
