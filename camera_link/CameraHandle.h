#pragma once

#include "camera_link/CameraUrl.h"
#include "camera_link/OnvifClient.h"
#include "camera_link/StreamSession.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace camlink {

// What a handle knows of a camera's profiles once it logged in through the camera services.
struct ProfileSummary {
    std::string name;
    std::string codec;
    int width = 0;
    int height = 0;
};

// One camera login: where the camera is, who we are, and the streams previewed on it. With
// a services port and no path in the address the stream addresses come from the camera's
// media service (one per profile, the stream index choosing the profile); an address with
// a path keeps naming its stream, and the services are then only asked for what they add.
// The camera's PTZ, imaging and snapshot services are reached through the same login.
// Lock order: operationLock_, then onvifLock_, then sessionLock_ or stateLock_.
class CameraHandle {
public:
    CameraHandle(CameraAddress address, int transport, int onvifPort = 0);
    ~CameraHandle() { Close(); }

    // Asks the camera for the stream's description with the credentials; a CML_ code.
    int Login(int stream);
    // Each start of a stream is a session of its own (two windows may show one stream); the
    // callbacks registered next bind to the newest, and a stop ends the oldest.
    int StartPreview(int stream);
    int StopPreview(int stream);
    // The same start, naming the new session by a number of its own (never reused within
    // the handle), so a caller showing several sessions of one stream stops the right one.
    int StartSession(int stream, int& session);
    int StopSession(int session);
    std::shared_ptr<StreamSession> FindSessionById(int session) const;
    // The newest session of the stream, or null.
    std::shared_ptr<StreamSession> FindSession(int stream) const;
    // Ends every blocking call of the handle at once.
    void Cancel();
    // Cancels, stops every preview and drops the camera commands not yet sent.
    void Close();

    // The profiles read at the login; CML_ERR_HANDLE before a login through the services.
    int Profiles(std::vector<ProfileSummary>& profiles) const;

    // Camera commands. They are queued and sent in order on the handle's own thread, so the
    // caller never waits for the camera; CML_OK means queued. A command the camera is known
    // not to serve gives CML_ERR_NOT_SERVED and nothing is queued; a press while 32 commands
    // wait gives CML_ERR_REFUSED (a release is always queued).
    int Ptz(int stream, int command, int start);
    int Preset(int stream, int action, int number);
    // Fetches the snapshot of the stream's profile into `path` (blocking, at most the
    // timeout); a CML_ code.
    int Snapshot(int stream, const std::string& path);

private:
    bool UsesServices() const { return onvifPort_ != 0; }
    // An address with a path names its stream itself; without one the services name it.
    bool ServicesNameTheStream() const { return UsesServices() && address_.path.empty(); }
    // Connects the services client, reads the clock, services and profiles (once).
    int OpenServices();
    // The RTSP address of a stream: the slot's, or the one the camera names for the profile.
    int StreamAddress(int stream, CameraAddress& address);
    // The profile token and video source of a stream index; false when there is none.
    bool ProfileOf(int stream, std::string& token, std::string& videoSource) const;
    // Queues a camera command: CML_OK, CML_ERR_HANDLE once closed, or CML_ERR_REFUSED when
    // `mayRefuse` and the queue is full.
    int Enqueue(std::function<void()> command, bool mayRefuse);
    void RunCommands();

    const CameraAddress address_;
    const int transport_;
    const int onvifPort_;
    std::mutex operationLock_;  // serialises login and preview start/stop
    std::atomic<bool> cancelled_{false};  // ends services calls of a login or a preview start
    std::atomic<bool> closing_{false};    // ends every services call: the handle goes away

    // The services client is used by one thread at a time.
    mutable std::mutex onvifLock_;
    std::unique_ptr<onvif::Client> onvif_;        // Guarded by onvifLock_
    std::vector<onvif::Profile> profiles_;        // Guarded by onvifLock_
    std::map<int, CameraAddress> streamAddress_;  // Guarded by onvifLock_
    std::map<int, std::string> snapshotUri_;      // Guarded by onvifLock_; "" none served

    // What the services offer, readable without waiting for a call in flight.
    mutable std::mutex stateLock_;
    bool servicesKnown_ = false;     // Guarded by stateLock_
    bool hasPtz_ = false;            // Guarded by stateLock_
    bool hasImaging_ = false;        // Guarded by stateLock_
    std::vector<ProfileSummary> summaries_;  // Guarded by stateLock_
    std::map<int, std::string> presetTokens_;  // Guarded by stateLock_; number -> camera's token
    std::map<int, int> pendingPresets_;        // Guarded by stateLock_; sets still queued

    // The camera commands' queue and thread (started with the first command).
    std::mutex commandLock_;
    std::condition_variable commandReady_;
    std::deque<std::function<void()>> commands_;  // Guarded by commandLock_
    bool commandStop_ = false;                    // Guarded by commandLock_
    std::thread commandThread_;                   // Guarded by commandLock_

    mutable std::mutex sessionLock_;
    std::map<int, std::deque<std::shared_ptr<StreamSession>>> sessions_;  // Guarded by sessionLock_
    std::map<int, std::shared_ptr<StreamSession>> sessionsById_;         // Guarded by sessionLock_
    int nextSession_ = 1;                                                 // Guarded by sessionLock_
    // Sessions being opened (a login's or a preview's), so Cancel reaches them.
    std::vector<std::shared_ptr<StreamSession>> opening_;  // Guarded by sessionLock_
};

}  // namespace camlink
