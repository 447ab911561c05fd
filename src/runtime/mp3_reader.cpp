// Reading frames through a fixed window: every read of the source is bounded by the window's room and
// every header is checked against what the window holds, so a corrupt or growing file is safe.
#include "runtime/mp3_reader.hpp"

#include <cstring>

namespace qiwa {

Mp3FrameReader::Mp3FrameReader(SongSource& source, std::size_t window) : source_(source), window_(window) {}

void Mp3FrameReader::jump(std::uint64_t offset) {
  base_ = offset;
  pos_ = end_ = 0;
}

// Makes `need` bytes from pos_ available; false when the source does not have them (yet).
bool Mp3FrameReader::have(std::size_t need) {
  if (available() >= need) return true;
  if (need > window_.size()) return false;
  if (pos_ + need > window_.size()) {
    std::memmove(window_.data(), at(), available());
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
  }
  while (available() < need) {
    const SourceState state = source_.state();
    const std::size_t room = window_.size() - end_;
    std::size_t n = source_.read(base_ + end_, window_.data() + end_, room);
    if (n > room) n = room;
    end_ += n;
    if (n == 0) {
      last_state_ = state;
      return false;
    }
  }
  return true;
}

// What a read that came up short means: more may come, or this is where the song's bytes end.
FrameRead Mp3FrameReader::short_of_bytes() const {
  return last_state_ == SourceState::growing ? FrameRead::wait : FrameRead::end;
}

// From pos_ on, the first header (of `format`, when given) whose frame is whole and followed by a
// header of the same format, or which ends a song whose bytes are all there. pos_ is left on it.
FrameRead Mp3FrameReader::sync(const Mp3FrameHeader* format, Mp3FrameHeader& found) {
  for (;; ++pos_) {
    if (!have(4)) return short_of_bytes();
    std::optional<Mp3FrameHeader> h = parse_frame_header(at(), available());
    if (!h || (format && !same_format(*h, *format))) continue;
    if (have(h->length + 4)) {
      std::optional<Mp3FrameHeader> after = parse_frame_header(at() + h->length, 4);
      if (!after || !same_format(*h, *after)) continue;
    } else if (short_of_bytes() == FrameRead::wait) {
      return FrameRead::wait;
    } else if (available() < h->length) {
      continue;  // cut off by the end: no frame
    }
    found = *h;
    return FrameRead::frame;
  }
}

FrameRead Mp3FrameReader::open() {
  jump(0);
  last_state_ = SourceState::growing;
  while (have(10)) {
    const std::size_t tag = id3v2_tag_size(at(), available());
    if (tag == 0) break;
    if (tag <= available())
      pos_ += tag;
    else
      jump(base_ + pos_ + tag);  // passed over unread, however large (an embedded picture)
  }
  if (available() < 10 && short_of_bytes() == FrameRead::wait) return FrameRead::wait;
  Mp3FrameHeader first;
  FrameRead r = sync(nullptr, first);
  if (r != FrameRead::frame) return r;
  summary_ = parse_summary_frame(at(), first.length, first);
  if (summary_) {
    pos_ += first.length;  // the summary frame holds no audio
    r = sync(&first, first);
    if (r != FrameRead::frame) return r;
  }
  format_ = first;
  first_audio_ = base_ + pos_;
  return FrameRead::frame;
}

FrameRead Mp3FrameReader::next(const unsigned char*& frame, std::size_t& length) {
  for (;;) {
    if (!have(4)) return short_of_bytes();
    std::optional<Mp3FrameHeader> h = lost_ ? std::nullopt : parse_frame_header(at(), available());
    if (h && same_format(*h, format_)) {
      if (have(h->length)) {
        frame = at();
        length = h->length;
        frame_offset_ = base_ + pos_;
        pos_ += h->length;
        return FrameRead::frame;
      }
      if (short_of_bytes() == FrameRead::wait) return FrameRead::wait;
    }
    // Out of step: a frame found again must be confirmed by the header after it, also when the
    // search has to wait for more bytes part way.
    lost_ = true;
    Mp3FrameHeader found;
    const FrameRead r = sync(&format_, found);
    if (r != FrameRead::frame) return r;
    lost_ = false;
  }
}

void Mp3FrameReader::seek_to(std::uint64_t offset) {
  jump(offset);
  lost_ = false;
  last_state_ = SourceState::growing;
}

}  // namespace qiwa
