#include "live_client/core/PageInfo.h"

CPageInfo g_PageInfo[kPageCount];

void AssignPageIndexes(CPageInfo (&pages)[kPageCount]) {
  for (int p = 0; p < kPageCount; ++p) {
    pages[p].nIndex = p;
    for (CCameraInfo& slot : pages[p].camera) slot.nPage = p;
  }
}
