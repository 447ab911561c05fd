// MPEG audio frame parsing. Every read is checked against the given size, so corrupt input is safe.
#include "runtime/mp3_frames.hpp"

#include <algorithm>

namespace qiwa {
namespace {

constexpr int kBitRatesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitRatesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
// The longest Layer III frame: 320 kbit/s at 32 kHz (or 160 kbit/s at 8 kHz) with padding.
constexpr std::size_t kMaxFrameBytes = 1441;

std::uint32_t big_endian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The LAME tag's checksum: CRC-16 (polynomial 0x8005, bits reflected, from 0) of the frame up to it.
std::uint16_t lame_crc(const unsigned char* data, std::size_t size) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
  }
  return crc;
}

// The LAME tag that follows the Xing fields at `tag`: 36 bytes, its checksum last. The delay and the
// padding are 12 bits each, from byte 21 on.
std::optional<Mp3Gapless> parse_lame_tag(const unsigned char* frame, std::size_t size, std::size_t tag) {
  constexpr std::size_t kTagBytes = 36;
  if (tag > size || size - tag < kTagBytes) return std::nullopt;
  const unsigned char* p = frame + tag;
  if (lame_crc(frame, tag + 34) != (p[34] << 8 | p[35])) return std::nullopt;
  return Mp3Gapless{p[21] << 4 | p[22] >> 4, (p[22] & 0x0F) << 8 | p[23]};
}

}  // namespace

std::size_t id3v2_tag_size(const unsigned char* data, std::size_t size) {
  if (size < 10 || data[0] != 'I' || data[1] != 'D' || data[2] != '3') return 0;
  if (data[3] == 0xFF || data[4] == 0xFF) return 0;
  std::size_t body = 0;
  for (int i = 6; i < 10; ++i) {
    if (data[i] & 0x80) return 0;  // sizes are "syncsafe": seven bits per byte
    body = body << 7 | data[i];
  }
  bool footer = (data[5] & 0x10) != 0;
  return 10 + body + (footer ? 10 : 0);
}

bool same_format(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
  return a.version == b.version && a.sample_rate == b.sample_rate && a.channels == b.channels;
}

std::optional<Mp3FrameHeader> parse_frame_header(const unsigned char* data, std::size_t size) {
  if (!data || size < 4) return std::nullopt;
  if (data[0] != 0xFF || (data[1] & 0xE0) != 0xE0) return std::nullopt;
  int version_bits = (data[1] >> 3) & 3;
  int layer_bits = (data[1] >> 1) & 3;
  int rate_index = data[2] >> 4;
  int sample_index = (data[2] >> 2) & 3;
  if (version_bits == 1 || layer_bits != 1 || rate_index == 0 || rate_index == 15 || sample_index == 3)
    return std::nullopt;
  Mp3FrameHeader h;
  h.version = version_bits == 3 ? MpegVersion::mpeg1 : version_bits == 2 ? MpegVersion::mpeg2 : MpegVersion::mpeg25;
  bool v1 = h.version == MpegVersion::mpeg1;
  h.bit_rate = (v1 ? kBitRatesV1 : kBitRatesV2)[rate_index] * 1000;
  h.sample_rate = kSampleRates[static_cast<int>(h.version)][sample_index];
  h.crc = (data[1] & 1) == 0;
  h.padding = (data[2] & 2) != 0;
  h.channels = (data[3] >> 6) == 3 ? 1 : 2;
  h.samples = v1 ? 1152 : 576;
  h.length = static_cast<std::size_t>((v1 ? 144 : 72) * h.bit_rate / h.sample_rate + (h.padding ? 1 : 0));
  h.side_info_size = v1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  return h;
}

std::size_t id3v2_size(const unsigned char* data, std::size_t size) {
  std::size_t total = 0;
  while (std::size_t tag = id3v2_tag_size(data + total, size - total)) {
    total += tag;
    if (total >= size) return size;
  }
  return total;
}

std::size_t find_frame(const unsigned char* data, std::size_t size, std::size_t from) {
  if (!data || from > size) return std::size_t(-1);
  for (std::size_t pos = from; pos + 4 <= size; ++pos) {
    auto h = parse_frame_header(data + pos, size - pos);
    if (!h || h->length > size - pos) continue;
    std::size_t end = pos + h->length;
    if (size - end < 4) return pos;  // the last frame, perhaps followed by a stray byte or two
    auto next = parse_frame_header(data + end, size - end);
    if (next && same_format(*h, *next)) return pos;
  }
  return std::size_t(-1);
}

std::optional<Mp3SummaryFrame> parse_summary_frame(const unsigned char* frame, std::size_t size,
                                                   const Mp3FrameHeader& header) {
  if (size > header.length) size = header.length;
  std::size_t xing = 4 + static_cast<std::size_t>(header.side_info_size);
  if (xing + 8 <= size) {
    const unsigned char* p = frame + xing;
    bool is_xing = p[0] == 'X' && p[1] == 'i' && p[2] == 'n' && p[3] == 'g';
    bool is_info = p[0] == 'I' && p[1] == 'n' && p[2] == 'f' && p[3] == 'o';
    if (is_xing || is_info) {
      Mp3SummaryFrame s;
      s.vbr = is_xing;
      const std::uint32_t flags = big_endian32(p + 4);
      std::size_t at = xing + 8;  // the fields the flags announce follow in their order
      if ((flags & 1) && at + 4 <= size) s.frames = big_endian32(frame + at), at += 4;
      if ((flags & 2) && at + 4 <= size) s.bytes = big_endian32(frame + at);
      // The fields the flags announce (frames, bytes, the seek table, a quality) come before the tag.
      const std::size_t tag = xing + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) +
                              (flags & 8 ? 4 : 0);
      s.gapless = parse_lame_tag(frame, size, tag);
      return s;
    }
  }
  constexpr std::size_t kVbri = 4 + 32;
  if (kVbri + 18 <= size) {
    const unsigned char* p = frame + kVbri;
    if (p[0] == 'V' && p[1] == 'B' && p[2] == 'R' && p[3] == 'I') {
      Mp3SummaryFrame s;
      s.vbr = true;
      s.vbri = true;
      s.frames = big_endian32(p + 14);
      s.bytes = big_endian32(p + 10);
      return s;
    }
  }
  return std::nullopt;
}

std::size_t next_frame(const unsigned char* data, std::size_t size, std::size_t pos, const Mp3FrameHeader* previous) {
  if (pos >= size) return std::size_t(-1);
  if (previous) {
    auto h = parse_frame_header(data + pos, size - pos);
    if (h && same_format(*h, *previous) && h->length <= size - pos) return pos;
  }
  return find_frame(data, size, pos);
}

void Mp3Sniffer::feed(const unsigned char* data, std::size_t size) {
  while (size > 0 && !in_audio_) {
    if (tag_left_ > 0) {
      const std::size_t skip = tag_left_ < size ? static_cast<std::size_t>(tag_left_) : size;
      tag_left_ -= skip;
      data += skip;
      size -= skip;
      continue;
    }
    const std::size_t take = std::min<std::size_t>(10 - tag_header_.size(), size);
    tag_header_.insert(tag_header_.end(), data, data + take);
    data += take;
    size -= take;
    if (tag_header_.size() < 10) return;
    if (const std::size_t tag = id3v2_tag_size(tag_header_.data(), tag_header_.size())) {
      tag_left_ = tag - 10;
      tag_header_.clear();
    } else {
      in_audio_ = true;
      audio_ = std::move(tag_header_);  // 10 bytes that turned out to be no tag
      audio_bytes_ = audio_.size();
    }
  }
  if (!in_audio_) return;
  audio_bytes_ += size;
  const std::size_t room = kSniffBytes - std::min(audio_.size(), kSniffBytes);
  audio_.insert(audio_.end(), data, data + std::min(room, size));
}

bool Mp3Sniffer::holds_ms(std::uint64_t ms) const {
  const std::optional<Mp3Stream> stream = probe_mp3(audio_);
  if (!stream) return false;
  return audio_bytes_ >= stream->first_audio + static_cast<std::uint64_t>(stream->header.bit_rate) / 8 * ms / 1000;
}

std::optional<Mp3Stream> probe_mp3(const unsigned char* data, std::size_t size) {
  std::size_t pos = find_frame(data, size, id3v2_size(data, size));
  if (pos == std::size_t(-1)) return std::nullopt;
  Mp3Stream stream;
  auto header = *parse_frame_header(data + pos, size - pos);
  if (auto summary = parse_summary_frame(data + pos, size - pos, header)) {
    stream.vbr = summary->vbr;
    pos = next_frame(data, size, pos + header.length, &header);
    if (pos == std::size_t(-1)) return std::nullopt;  // a summary and no audio
    header = *parse_frame_header(data + pos, size - pos);
  }
  stream.first_audio = pos;
  stream.header = header;
  Mp3FrameHeader previous = header;
  while (pos != std::size_t(-1)) {
    auto h = *parse_frame_header(data + pos, size - pos);
    if (h.bit_rate != previous.bit_rate) stream.vbr = true;
    ++stream.frames;
    stream.seconds += static_cast<double>(h.samples) / h.sample_rate;
    previous = h;
    pos = next_frame(data, size, pos + h.length, &previous);
  }
  return stream;
}

namespace {

// The first frame at or after `from` that the data holds whole, followed by the header of a frame of its
// format: the start of the audio, told from bytes that merely look like a header. npos when there is none.
std::size_t confirmed_frame(const Bytes& data, std::size_t from, const Mp3FrameHeader* format) {
  for (std::size_t pos = from; pos + 4 <= data.size(); ++pos) {
    auto h = parse_frame_header(data.data() + pos, data.size() - pos);
    if (!h || (format && !same_format(*h, *format)) || data.size() - pos < h->length + 4) continue;
    auto next = parse_frame_header(data.data() + pos + h->length, 4);
    if (next && same_format(*h, *next)) return pos;
  }
  return std::size_t(-1);
}

}  // namespace

void Mp3WholeCheck::feed(const unsigned char* data, std::size_t size) {
  received_ += size;
  if (phase_ == Phase::tags) feed_tags(data, size);
  if (size == 0) return;
  if (phase_ == Phase::frames) return feed_frames(data, size);
  pending_.insert(pending_.end(), data, data + size);
  look_for_frame();
}

// ID3v2 tags, one after another, each passed over however large.
void Mp3WholeCheck::feed_tags(const unsigned char*& data, std::size_t& size) {
  while (size > 0 && phase_ == Phase::tags) {
    if (tag_left_ > 0) {
      const std::size_t skip = tag_left_ < size ? static_cast<std::size_t>(tag_left_) : size;
      tag_left_ -= skip, data += skip, size -= skip;
      continue;
    }
    const std::size_t take = std::min<std::size_t>(10 - pending_.size(), size);
    pending_.insert(pending_.end(), data, data + take);
    data += take, size -= take;
    if (pending_.size() < 10) return;
    if (const std::size_t tag = id3v2_tag_size(pending_.data(), pending_.size())) {
      tag_left_ = tag - 10;
      pending_.clear();
    } else {
      phase_ = Phase::first_frame;  // the 10 bytes stay pending: they may start the audio
    }
  }
}

// Searches the pending bytes for a frame (of the stream's format once it has one) and follows the frames
// from there; keeps only the tail a frame may still start in.
void Mp3WholeCheck::look_for_frame() {
  const std::size_t at = confirmed_frame(pending_, 0, first_taken_ ? &format_ : nullptr);
  if (at == std::size_t(-1)) {
    constexpr std::size_t kKeep = kMaxFrameBytes + 4;
    if (pending_.size() > 2 * kKeep) pending_.erase(pending_.begin(), pending_.end() - kKeep);
    return;
  }
  Bytes rest(pending_.begin() + static_cast<std::ptrdiff_t>(at), pending_.end());
  pending_.clear();
  if (!first_taken_) {
    auto header = *parse_frame_header(rest.data(), rest.size());
    summary_ = parse_summary_frame(rest.data(), rest.size(), header);
    format_ = header;
  }
  phase_ = Phase::frames;
  feed_frames(rest.data(), rest.size());
}

void Mp3WholeCheck::take_frame(const Mp3FrameHeader& header) {
  if (first_taken_ || !summary_) ++frames_;  // the summary frame holds no audio
  first_taken_ = true;
  frame_left_ = header.length - 4;
}

// From one frame boundary to the next; a header that is none (a trailing tag, junk) loses the stream,
// and the search for its next frame starts there.
void Mp3WholeCheck::feed_frames(const unsigned char* data, std::size_t size) {
  while (size > 0) {
    if (frame_left_ > 0) {
      const std::size_t skip = frame_left_ < size ? static_cast<std::size_t>(frame_left_) : size;
      frame_left_ -= skip, data += skip, size -= skip;
      continue;
    }
    const std::size_t take = std::min<std::size_t>(4 - pending_.size(), size);
    pending_.insert(pending_.end(), data, data + take);
    data += take, size -= take;
    if (pending_.size() < 4) return;
    auto header = parse_frame_header(pending_.data(), pending_.size());
    if (header && same_format(*header, format_)) {
      pending_.clear();
      take_frame(*header);
      continue;
    }
    phase_ = Phase::lost;
    pending_.insert(pending_.end(), data, data + size);
    return look_for_frame();
  }
}

bool Mp3WholeCheck::whole() const {
  if (frames_ == 0) return false;
  if (phase_ == Phase::frames) {
    if (frame_left_ > 0) return false;                           // it ends inside a frame
    if (!pending_.empty() && pending_[0] == 0xFF) return false;  // or inside the next one's header
  }
  if (!summary_) return true;
  const std::uint64_t frames = summary_->vbri ? frames_ + 1 : frames_;  // VBRI may count itself
  if (summary_->frames && frames < *summary_->frames) return false;
  return !summary_->bytes || received_ >= *summary_->bytes;
}

}  // namespace qiwa
