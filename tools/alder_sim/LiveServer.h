#pragma once

#include "tools/alder_sim/ChannelSource.h"
#include "tools/alder_sim/SimNet.h"
#include "tools/alder_sim/SimOptions.h"

#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

namespace alder {

// The live side: logins and requests on the control port, one channel stream per
// connection on the media port.
class LiveServer {
public:
    LiveServer(const SimOptions& options, std::vector<std::unique_ptr<ChannelSource>>& channels)
        : options_(options), channels_(channels) {}
    ~LiveServer() { Stop(); }

    bool Start(std::string* error);
    void Stop();
    // Cuts every live connection; clients see their connection lost.
    int DropAll();

private:
    void ServeControl(int fd);
    void ServeMedia(int fd);
    int Login(const ferrow::wire::Message& message, uint32_t& session);
    int HandleRequest(uint32_t session, const ferrow::wire::Message& message);
    bool SessionUser(uint32_t session, std::string& user) const;

    const SimOptions& options_;
    std::vector<std::unique_ptr<ChannelSource>>& channels_;
    TcpServer control_;
    TcpServer media_;

    mutable std::mutex lock_;
    std::map<uint32_t, std::string> sessions_;  // Guarded by lock_: session -> user name
    std::mt19937 random_{std::random_device{}()};  // Guarded by lock_
};

}  // namespace alder
