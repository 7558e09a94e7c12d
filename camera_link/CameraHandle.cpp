#include "camera_link/CameraHandle.h"

#include <algorithm>

namespace camlink {

namespace {

// Keeps a session in the handle's list of opens in progress for the length of a scope.
class OpeningScope {
public:
    OpeningScope(std::mutex& lock, std::vector<std::shared_ptr<StreamSession>>& list,
                 std::shared_ptr<StreamSession> session)
        : lock_(lock), list_(list), session_(std::move(session))
    {
        std::lock_guard<std::mutex> guard(lock_);
        list_.push_back(session_);
    }
    ~OpeningScope()
    {
        std::lock_guard<std::mutex> guard(lock_);
        list_.erase(std::remove(list_.begin(), list_.end(), session_), list_.end());
    }

private:
    std::mutex& lock_;
    std::vector<std::shared_ptr<StreamSession>>& list_;
    std::shared_ptr<StreamSession> session_;
};

}  // namespace

int CameraHandle::Login(int stream)
{
    std::lock_guard<std::mutex> operation(operationLock_);
    auto probe = std::make_shared<StreamSession>(address_, transport_, stream);
    OpeningScope scope(sessionLock_, opening_, probe);
    return probe->Open(true);  // the probe's session closes with it
}

int CameraHandle::StartPreview(int stream)
{
    std::lock_guard<std::mutex> operation(operationLock_);
    auto session = std::make_shared<StreamSession>(address_, transport_, stream);
    int result = CML_OK;
    {
        OpeningScope scope(sessionLock_, opening_, session);
        result = session->Open();
    }
    if (result != CML_OK)
        return result;
    session->Start();
    std::lock_guard<std::mutex> lock(sessionLock_);
    sessions_[stream].push_back(session);
    return CML_OK;
}

int CameraHandle::StopPreview(int stream)
{
    std::shared_ptr<StreamSession> session;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        auto it = sessions_.find(stream);
        if (it == sessions_.end() || it->second.empty())
            return CML_ERR_HANDLE;
        session = it->second.front();
        it->second.pop_front();
        if (it->second.empty())
            sessions_.erase(it);
    }
    session->Stop();
    return CML_OK;
}

std::shared_ptr<StreamSession> CameraHandle::FindSession(int stream) const
{
    std::lock_guard<std::mutex> lock(sessionLock_);
    auto it = sessions_.find(stream);
    return it == sessions_.end() || it->second.empty() ? nullptr : it->second.back();
}

void CameraHandle::Cancel()
{
    std::lock_guard<std::mutex> lock(sessionLock_);
    for (auto& session : opening_)
        session->Cancel();
}

void CameraHandle::Close()
{
    Cancel();
    std::map<int, std::deque<std::shared_ptr<StreamSession>>> sessions;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        sessions.swap(sessions_);
    }
    for (auto& [stream, list] : sessions)
        for (auto& session : list)
            session->Stop();
}

}  // namespace camlink
