#pragma once

// A stand-in for a camera that answers discovery probes the way a test wants: bound to one
// loopback address at the discovery port, it answers every probe it takes with each of the
// given datagrams in turn, "{ID}" in them replaced by the probe's message id.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ProbeResponder {
public:
    ProbeResponder(const std::string& address, std::vector<std::string> answers, int port = 3702)
        : answers_(std::move(answers))
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &where.sin_addr);
        int yes = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
        if (bound_)
            thread_ = std::thread([this] { Run(); });
    }
    ~ProbeResponder()
    {
        quit_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            close(fd_);
    }
    bool Bound() const { return bound_; }
    int Probes() const { return probes_; }

    // A well-formed answer naming one camera, for building hostile variants around it.
    static std::string Match(const std::string& relatesTo, const std::string& endpoint,
                             const std::string& scopes, const std::string& xaddrs)
    {
        return "<?xml version=\"1.0\"?><e:Envelope"
               " xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\""
               " xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
               " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><e:Header>"
               "<w:RelatesTo>" + relatesTo + "</w:RelatesTo></e:Header><e:Body>"
               "<d:ProbeMatches><d:ProbeMatch><w:EndpointReference><w:Address>" + endpoint +
               "</w:Address></w:EndpointReference><d:Scopes>" + scopes + "</d:Scopes>"
               "<d:XAddrs>" + xaddrs + "</d:XAddrs></d:ProbeMatch></d:ProbeMatches>"
               "</e:Body></e:Envelope>";
    }

private:
    void Run()
    {
        std::vector<char> datagram(65536);
        while (!quit_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t got = recvfrom(fd_, datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
            if (got <= 0)
                continue;
            ++probes_;
            const std::string probe(datagram.data(), static_cast<size_t>(got));
            std::string id;
            const size_t open = probe.find("MessageID>");
            if (open != std::string::npos) {
                const size_t start = open + 10;
                id = probe.substr(start, probe.find('<', start) - start);
            }
            for (std::string answer : answers_) {
                for (size_t at; (at = answer.find("{ID}")) != std::string::npos;)
                    answer.replace(at, 4, id);
                sendto(fd_, answer.data(), answer.size(), 0,
                       reinterpret_cast<sockaddr*>(&from), length);
            }
        }
    }

    std::vector<std::string> answers_;
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> quit_{false};
    std::atomic<int> probes_{0};
    std::thread thread_;
};

}  // namespace testsupport
