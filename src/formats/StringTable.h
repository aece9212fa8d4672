// The program's own texts: button and tooltip texts (ids 1 to 26) and
// labels and messages (ids 1000 to 1031), used exactly as they stand.
#pragma once

#include <cstdint>

namespace tsv {

enum StringId : uint32_t {
  kStrSnapshot = 1,
  kStrStop = 2,
  kStrPause = 3,
  kStrSlowForward = 4,
  kStrPlay = 5,
  kStrFastForward = 6,
  kStrOsd = 7,
  kStrConfigSetting = 8,
  kStrOpenNextFile = 9,
  kStrOpenPreviousFile = 10,
  kStrMinimized = 20,
  kStrFullScreen = 21,
  kStrClose = 22,
  kStrApplicationInfo = 23,
  kStrSlowRewind = 25,
  kStrFastRewind = 26,
  kStrRecordStyle = 1010,
  kStrSize = 1011,
  kStrResolution = 1013,
  kStrDate = 1014,
  kStrTriggerRecord = 1015,
  kStrUserRecord = 1016,
  kStrScheduleRecord = 1017,
  kStrGetFilePath = 1018,
  kStrNoFileFormat = 1019,
  kStrNoNextFile = 1020,
  kStrNoLastFile = 1021,
  kStrFileTypeNotCorrect = 1022,
  kStrOpenFileFailed = 1023,
  kStrLoadBitmapFailed = 1024,
  kStrPaintFailed = 1025,
  kStrSaveSnapshotFailed = 1026,
  kStrCreateToolTipFailed = 1029,
  kStrConvertPrompt = 1030,
  kStrDiscPrompt = 1031,
};

// The text of an id; an empty string for an id the table does not hold.
const char* LoadString(uint32_t id);

}  // namespace tsv
