#pragma once

// A row of the remote result list filled by a recorder search: it owns a copy of the
// recorder's file record, which is all the SDK needs to play the recording again. The copy
// goes with the row, however the row leaves the list (a clear, a released channel, exit).

#include <QTreeWidgetItem>
#include <cstring>

#include "device_sdk/Orvane/Orvane.h"

namespace lumaro {

class RecorderFileItem : public QTreeWidgetItem {
 public:
  static constexpr int kType = QTreeWidgetItem::UserType + 1;

  explicit RecorderFileItem(const ORVANE_RECFILE& record) : QTreeWidgetItem(kType) {
    std::memset(&m_record, 0, sizeof m_record);
    std::memcpy(&m_record, &record, ORVANE_RECFILE_DATA_BYTES);
  }

  // The row as a recorder row, null for a row of another kind.
  static const RecorderFileItem* Of(const QTreeWidgetItem* item) {
    return item && item->type() == kType ? static_cast<const RecorderFileItem*>(item) : nullptr;
  }

  // The record as found; its link to a next record is always null.
  const ORVANE_RECFILE& Record() const { return m_record; }

 private:
  ORVANE_RECFILE m_record;
};

}  // namespace lumaro
