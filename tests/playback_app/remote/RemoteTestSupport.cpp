#include "RemoteTestSupport.h"

#include <cstdint>
#include <cstdlib>

#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "record_file_library/Stordane.h"

namespace lumaro_test {

bool MakeDeviceRecording(const std::string& scratch_path, const std::string& target_windows_path,
                         int slot) {
  const std::string encode = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 3 "
                             "-c:v mpeg4 -vtag XVID -q:v 5 '" + scratch_path + "'";
  if (std::system(encode.c_str()) != 0) return false;
  pellix::FileInput input;
  pellix::AviDemuxer demuxer;
  if (!input.Open(scratch_path.c_str(), true, false) || !demuxer.Open(&input)) return false;
  OxSetCapCompression(slot, OX_COMPRESSION_XVID);
  OxSetCapSize(slot, 352, 288);
  OxSetCapFrmRate(slot, 25);
  if (OxCreateAVIFile(slot, target_windows_path.c_str()) != 0) return false;
  for (std::uint32_t i = 0; i < demuxer.FrameCount(); ++i) {
    pellix::VideoFrameRecord record;
    if (!demuxer.ReadFrame(1, record)) return false;
    if (OxWriteFrameToAVIFile(slot, record.data, static_cast<int>(record.size),
                              record.key_frame ? OX_FRAME_VIDEO_KEY : OX_FRAME_VIDEO_DELTA) != 0)
      return false;
  }
  return OxCloseAVIFile(slot) == 0;
}

}  // namespace lumaro_test
