// The main dialog's side of the time ruler: rows follow the channel states, a click on the
// ruler plays every selected channel from the chosen moment, and with the TBlack theme the
// channel buttons beside the rows follow the ruler's scrolling.

#include "common/qt/WaitCursor.h"
#include "player_engine/Pellix.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/TimeStaffWnd.h"

namespace lumaro {

void CLumaroDlg::SyncRulerRows() {
  if (!m_wndTimeStaff) return;
  for (int channel = 1; channel <= kChannels; ++channel) {
    const ChannelState& state = m_ChannelState[static_cast<std::size_t>(channel - 1)];
    if (state.nWindow < 0) {
      m_wndTimeStaff->ClearRow(channel);
      continue;
    }
    m_wndTimeStaff->SetRowLabel(channel, m_strRulerLabels[static_cast<std::size_t>(channel - 1)]);
    m_wndTimeStaff->BuildRow(channel, m_viewMode == ViewMode::Time ? state.records : std::vector<RecordFileInfo>{},
                             SearchDayStart());
  }
}

void CLumaroDlg::OnRulerSeek(int seconds) {
  if (m_viewMode != ViewMode::Time) return;
  m_tRulerTime = SearchDayStart() + seconds;
  WaitCursor wait;
  for (int window = 0; window < kVideoWindows; ++window) {
    VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
    if (state.nChannel < 0 || !m_ChannelState[static_cast<std::size_t>(state.nChannel)].bSelected) continue;
    const bool wasActive = state.IsActive();
    const int before = state.nRecordIndex;
    if (!OpenRecordForWindow(window, false, 0)) {
      StopWindow(window);
      continue;
    }
    if (wasActive && state.nRecordIndex == before) {
      // The chosen moment lies in the recording already open: only move within it.
      Pellix_SetPlayPos(window, state.fStartPosition);
      continue;
    }
    PlayWindow(window, true, state.fStartPosition);
    SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
  }
}

void CLumaroDlg::OnRulerScroll(int firstRow) {
  if (m_strThemeName != "TBlack") return;
  m_nFirstChannelShown = firstRow;
  PlaceChannelButtons();
}

}  // namespace lumaro
