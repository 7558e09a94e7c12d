#pragma once

// Logins to recorders and the connection of camera slots over them.
//
// Lock order, everywhere in the live client: the camera-table lock (g_csCameraTable), then a
// slot's lock, then the dialog's lock or a login record's lock. The login table's own lock
// (g_csLoginTable) guards only the table's membership and is always taken last, for the
// duration of a scan, an append or a removal.
//
// Connect results: 0 success; kConnectResolveFailed when the name could not be resolved or no
// hole could be punched; any other value comes from the device library. The error report gets
// result + 100.

#include <cstdint>

#include "live_client/core/CameraInfo.h"
#include "live_client/core/LoginInfo.h"
#include "platform/Sync.h"

class CKorvelDlg;

inline constexpr int kConnectResolveFailed = -2;
// A camera that answers its services but offers no media service (no streams to show).
inline constexpr int kConnectNoMediaService = 50;

// Guards g_LoginTable's membership (records keep their addresses while in it).
extern platform::CriticalSection g_csLoginTable;

// The first login record serving `slot` (same address, port, user, password and kind); 1 with
// the record in `login`, or 0 with null.
int CheckLogin(CLoginInfo*& login, const CCameraInfo& slot);
// Logs in to the recorder of `slot` and appends the login to the table; `login` then points
// at the table's record. Returns the connect result. Connect worker, holding the camera-table
// lock and the slot's lock.
int StartLogin(CKorvelDlg* dialog, CLoginInfo*& login, CCameraInfo& slot);
// Starts the preview of `slot` (page p, window w) over `login` and counts it in the login.
// Reports a failure to the error report and returns it.
int ConnectCamera(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int p, int w);
// Stops the preview of `slot` and uncounts it. Returns the stop result.
int StopPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot);
// Logs out of `login` unless another slot of it is still tried. Holding the camera-table lock
// but not the slot's lock (the logout waits for a loss report that takes slot locks).
void CheckLogout(CKorvelDlg* dialog, CLoginInfo* login, CCameraInfo* slot);

// Posts a connect failure to the error report: code + 100 in the high word, 1 in the low one;
// window and page in the high and low words of lParam.
void ReportConnectFailure(CKorvelDlg* dialog, int code, int window, int page);
// Channels of a recorder of `kind`.
int ChannelsOfKind(int kind);
// A camera link result as the media-transmit library's code of the same meaning, which the
// error report names: a camera not there reads "over time", refused credentials "user info
// error", a stream the camera does not have "no video source"; a camera without a media
// service gives kConnectNoMediaService.
int ReportableCameraCode(int code);
