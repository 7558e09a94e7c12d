#pragma once

#include "tools/alder_sim/RecordingCatalogue.h"
#include "tools/alder_sim/SimNet.h"
#include "tools/alder_sim/SimOptions.h"

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

namespace alder {

// The recording side: searches, play and download requests on the query port, raw file
// streams on the transmit port.
class VantorServer {
public:
    static constexpr size_t kRequestBytes = 128;
    static constexpr size_t kReplyBytes = 1032;

    explicit VantorServer(const SimOptions& options)
        : options_(options), catalogue_(options.recordings) {}
    ~VantorServer() { Stop(); }

    bool Start(std::string* error);
    void Stop();
    // Waits until both ports have served every connection accepted so far to its end.
    bool WaitUntilIdle(std::chrono::milliseconds limit)
    {
        return query_.WaitUntilIdle(limit) && transmit_.WaitUntilIdle(limit);
    }

private:
    // A query connection's writing end, shared with the transfer it asked for so that the
    // transfer can report its end there. Closed before the connection's socket is.
    struct QueryLink {
        int fd = -1;
        std::mutex lock;
        bool closed = false;  // Guarded by lock
    };
    struct Transfer {
        std::string name;
        std::string path;
        uint64_t size = 0;
        bool play = false;  // play reports its end on the query connection; download does not
        bool started = false;
        std::chrono::steady_clock::time_point created;
        std::weak_ptr<QueryLink> link;
    };
    using Reply = std::array<uint8_t, kReplyBytes>;

    void ServeQuery(int fd);
    void ServeTransmit(int fd);
    void HandleRequest(const std::shared_ptr<QueryLink>& link, const uint8_t* request);
    void Search(const std::shared_ptr<QueryLink>& link, const uint8_t* request);
    void OfferTransfer(const std::shared_ptr<QueryLink>& link, const uint8_t* request, bool play);
    bool SendReply(const std::shared_ptr<QueryLink>& link, const Reply& reply);
    static Reply MakeReply(uint8_t code);

    const SimOptions& options_;
    RecordingCatalogue catalogue_;
    TcpServer query_;
    TcpServer transmit_;

    std::mutex lock_;
    std::map<uint8_t, Transfer> transfers_;  // Guarded by lock_
    uint8_t nextId_ = 1;                     // Guarded by lock_
};

}  // namespace alder
