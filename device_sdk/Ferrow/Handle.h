#pragma once

#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Ferrow/FerrowWire.h"
#include "device_sdk/Ferrow/Preview.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ferrow {

// Where and as whom a handle logs in; taken from the caller's connect and user blocks.
struct LoginTarget {
    std::string address;
    uint16_t port = 0;
    uint16_t mediaPort = 0;
    std::string user;
    std::string password;
    int localPort = 0;
    int libraryFlags = 0;
};

// One login to a recorder: the control connection, its thread (heartbeats, request
// answers, loss reports) and the previews started on it.
// Lock order: operationLock_, then writeLock_, then controlLock_ or previewLock_;
// requestLock_ is innermost. No lock is held while a callback runs.
class Handle : public std::enable_shared_from_this<Handle> {
public:
    explicit Handle(LoginTarget target) : target_(std::move(target)) {}
    ~Handle();

    // Connects and logs in; an FRW_ code.
    int Login();
    // Stops every preview and the control connection.
    void Close();

    int StartPreview(int channel);
    int StopPreview(int channel);
    // The newest preview of the channel, or null.
    std::shared_ptr<Preview> FindPreview(int channel) const;
    int Request(int channel, int request, int subCode, const void* payload, int length,
                void* reply, int* replyLength, int timeout_ms);

private:
    int LoginLocked();
    void StopControl();
    void RunControl(int fd, uint32_t generation);
    void ConnectionLost(uint32_t generation);

    const LoginTarget target_;
    std::mutex operationLock_;  // serialises login, preview start/stop and close

    mutable std::mutex controlLock_;
    int controlFd_ = -1;          // Guarded by controlLock_; closed by StopControl
    uint32_t session_ = 0;        // Guarded by controlLock_
    uint32_t generation_ = 0;     // Guarded by controlLock_; one per login
    bool connected_ = false;      // Guarded by controlLock_
    std::thread controlThread_;   // Guarded by operationLock_
    std::atomic<bool> stopControl_{false};

    std::mutex writeLock_;        // one writer at a time on the control connection

    mutable std::mutex previewLock_;
    std::map<int, std::deque<std::shared_ptr<Preview>>> previews_;  // Guarded by previewLock_
    std::vector<std::shared_ptr<Preview>> lostPreviews_;  // Guarded by previewLock_

    std::mutex requestLock_;
    std::condition_variable requestDone_;
    uint32_t nextRequestId_ = 1;                                  // Guarded by requestLock_
    std::map<uint32_t, std::optional<wire::Message>> requests_;   // Guarded by requestLock_
};

}  // namespace ferrow
