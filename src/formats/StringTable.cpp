#include "formats/StringTable.h"

namespace tsv {

const char* LoadString(uint32_t id) {
  switch (id) {
    case kStrSnapshot: return "Snapshot";
    case kStrStop: return "Stop";
    case kStrPause: return "Pause";
    case kStrSlowForward: return "Slow Forward";
    case kStrPlay: return "Play";
    case kStrFastForward: return "Fast Forward";
    case kStrOsd: return "OSD";
    case kStrConfigSetting: return "Config Setting";
    case kStrOpenNextFile: return "Open Next File";
    case kStrOpenPreviousFile: return "Open Previous File";
    case kStrMinimized: return "Minimized";
    case kStrFullScreen: return "Full screen";
    case kStrClose: return "Close";
    case kStrApplicationInfo: return "Application info";
    case kStrSlowRewind: return "Slow Rewind";
    case kStrFastRewind: return "Fast Rewind";
    case kStrRecordStyle: return "Record Style";
    case kStrSize: return "Size";
    case kStrResolution: return "Resolution";
    case kStrDate: return "Date";
    case kStrTriggerRecord: return "Trigger Record";
    case kStrUserRecord: return "User Record";
    case kStrScheduleRecord: return "Schedule Record";
    case kStrGetFilePath: return "Get File Path";
    case kStrNoFileFormat: return "It couldn't find file format.";
    case kStrNoNextFile: return "It couldn't find the next file for play.";
    case kStrNoLastFile: return "It couldn't find the last file for play.";
    case kStrFileTypeNotCorrect: return "File Type is not correct.";
    case kStrOpenFileFailed: return "Open file is failed.";
    case kStrLoadBitmapFailed: return "Load the bitmap for UI is failed.";
    case kStrPaintFailed: return "OnPaint frame for UI is failed.";
    case kStrSaveSnapshotFailed: return "Save sanpshot image is failed.";
    case kStrCreateToolTipFailed: return "Unable To create ToolTip.";
    case kStrConvertPrompt: return "Do you want to convert this file ?";
    case kStrDiscPrompt: return "Do you want to load this file from DVD ROM ?";
    default: return "";
  }
}

}  // namespace tsv
