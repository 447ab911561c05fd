#include "runtime/mp3_index.hpp"

#include <limits>

namespace qiwa {

Mp3FrameIndex::Mp3FrameIndex(SongSource& source) : reader_(source, kWindow) {}

FrameRead Mp3FrameIndex::extend(std::uint64_t budget) {
  if (complete_) return FrameRead::end;
  if (!opened_) {
    const FrameRead r = reader_.open();
    if (r != FrameRead::frame) {
      complete_ = r == FrameRead::end;
      return r;
    }
    opened_ = true;
    format_ = reader_.format();
  }
  for (std::uint64_t walked = 0; walked < budget;) {
    const unsigned char* frame = nullptr;
    std::size_t length = 0;
    const FrameRead r = reader_.next(frame, length);
    if (r != FrameRead::frame) {
      complete_ = r == FrameRead::end;
      return r;
    }
    if (reader_.frame_offset() > std::numeric_limits<std::uint32_t>::max()) {
      complete_ = true;
      return FrameRead::end;
    }
    offsets_.push_back(static_cast<std::uint32_t>(reader_.frame_offset()));
    const int rate = parse_frame_header(frame, length)->bit_rate;
    if (first_rate_ == 0) first_rate_ = rate;
    constant_rate_ = constant_rate_ && rate == first_rate_;
    walked += length;
  }
  return FrameRead::frame;
}

bool Mp3FrameIndex::reach(std::size_t frame) {
  while (frames() <= frame) {
    if (extend(std::uint64_t(1) << 20) != FrameRead::frame && frames() <= frame) return false;
  }
  return true;
}

std::size_t Mp3FrameIndex::preroll_start(std::size_t frame) const {
  // Layer III's main_data_begin reaches back at most 511 bytes (MPEG-1) or 255 (MPEG-2 and 2.5).
  const std::size_t reservoir = format_.version == MpegVersion::mpeg1 ? 511 : 255;
  const std::size_t overhead = 4 + static_cast<std::size_t>(format_.side_info_size) + (format_.crc ? 2 : 0);
  if (frames() == 0) return 0;
  std::size_t first = frame < frames() ? frame : frames() - 1;
  for (std::size_t main_data = 0; first > 0 && main_data < reservoir;) {
    --first;
    const std::size_t length = static_cast<std::size_t>(offsets_[first + 1] - offsets_[first]);
    main_data += length > overhead ? length - overhead : 0;
  }
  return first > 0 ? first - 1 : 0;
}

}  // namespace qiwa
