#pragma once

// One display page of 25 camera slots, and the process-wide page table.

#include "live_client/core/CameraInfo.h"

class CPageInfo {
 public:
  CPageInfo() = default;
  virtual ~CPageInfo() = default;
  CPageInfo(const CPageInfo&) = delete;
  CPageInfo& operator=(const CPageInfo&) = delete;

  int nIndex = 0;     // the page's own index 0-4, set at start-up
  int nEditWnd = 0;   // window chosen in the page editor of the settings sheet
  CCameraInfo camera[kSlotsPerPage];  // slot w is shown in video window w
};

// The page table. Process-wide because the 25 connect workers, the maintenance thread and the
// settings pages all reach it; built before the main dialog and destroyed after it. Guarded
// per slot as described at CCameraInfo.
extern CPageInfo g_PageInfo[kPageCount];

// Gives every page its index and every slot its page index (done after loading "Korvel.cfg",
// so nPage always names the slot's page whatever the file said).
void AssignPageIndexes(CPageInfo (&pages)[kPageCount]);
