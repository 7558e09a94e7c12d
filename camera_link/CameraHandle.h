#pragma once

#include "camera_link/CameraUrl.h"
#include "camera_link/StreamSession.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace camlink {

// One camera login: where the camera is, who we are, and the streams previewed on it.
// Lock order: operationLock_, then sessionLock_.
class CameraHandle {
public:
    CameraHandle(CameraAddress address, int transport)
        : address_(std::move(address)), transport_(transport)
    {
    }
    ~CameraHandle() { Close(); }

    // Asks the camera for the stream's description with the credentials; a CML_ code.
    int Login(int stream);
    // Each start of a stream is a session of its own (two windows may show one stream); the
    // callbacks registered next bind to the newest, and a stop ends the oldest.
    int StartPreview(int stream);
    int StopPreview(int stream);
    // The newest session of the stream, or null.
    std::shared_ptr<StreamSession> FindSession(int stream) const;
    // Ends every blocking call of the handle at once.
    void Cancel();
    // Cancels and stops every preview.
    void Close();

private:
    const CameraAddress address_;
    const int transport_;
    std::mutex operationLock_;  // serialises login and preview start/stop

    mutable std::mutex sessionLock_;
    std::map<int, std::deque<std::shared_ptr<StreamSession>>> sessions_;  // Guarded by sessionLock_
    // Sessions being opened (a login's or a preview's), so Cancel reaches them.
    std::vector<std::shared_ptr<StreamSession>> opening_;  // Guarded by sessionLock_
};

}  // namespace camlink
