#include "runtime/song_stream.hpp"

#include <algorithm>
#include <cstring>

namespace qiwa {

SongStream::SongStream(std::unique_ptr<SongSource> source)
    : source_(std::move(source)), frames_(*source_), index_(*source_) {}

std::unique_ptr<SongStream> SongStream::open(std::unique_ptr<SongSource> source, const CodecFactory& codecs,
                                             std::uint64_t expected_bytes) {
  if (!source) return nullptr;
  std::unique_ptr<SongStream> song(new SongStream(std::move(source)));
  if (song->frames_.open() != FrameRead::frame) return nullptr;
  song->codec_ = codecs(song->frames_.format());
  if (!song->codec_ || song->codec_->pcm().block_align <= 0) return nullptr;
  song->decoder_.emplace(song->frames_, *song->codec_);
  song->frame_samples_ = song->frames_.format().samples;
  song->trim_ = song_trim(song->frames_.summary(), song->frame_samples_);
  song->discard_ = song->trim_.skip;
  song->expected_bytes_ = expected_bytes;
  return song;
}

Decoded SongStream::read(unsigned char* out, std::size_t size) {
  const auto align = static_cast<std::size_t>(codec_->pcm().block_align);
  size -= size % align;
  std::size_t n = 0;
  FrameRead status = FrameRead::frame;
  while (n < size) {
    std::size_t want = size - n;
    if (!ended_ && trim_.length && position_ >= *trim_.length) status = at_tagged_end();
    if (ended_ || status != FrameRead::frame) {
      if (ended_) status = FrameRead::end;
      break;
    }
    if (trim_.length) want = std::min<std::size_t>(want, static_cast<std::size_t>(*trim_.length - position_ + discard_) * align);
    const Decoded d = decoder_->read(out + n, want);
    std::size_t got = d.bytes / align;
    const auto drop = static_cast<std::size_t>(std::min<std::int64_t>(discard_, static_cast<std::int64_t>(got)));
    if (drop > 0) {
      std::memmove(out + n, out + n + drop * align, (got - drop) * align);
      got -= drop;
      discard_ -= static_cast<std::int64_t>(drop);
    }
    n += got * align;
    position_ += static_cast<std::int64_t>(got);
    if (d.status != FrameRead::frame) {
      status = d.status;
      break;
    }
  }
  scale_samples(out, n, scale_);
  return {n, status};
}

bool SongStream::seek(std::int64_t sample) {
  sample = std::max<std::int64_t>(0, sample);
  const std::int64_t decoded = sample + trim_.skip;
  const auto frame = static_cast<std::size_t>(decoded / frame_samples_);
  const bool arrived = index_.reach(frame);
  check_tag();
  const std::optional<std::int64_t> total = duration();
  const bool past_end = total && sample >= *total;
  if (!arrived || past_end) {
    if (!index_.complete() && !(past_end && source_->state() == SourceState::complete)) return false;
    ended_ = true;  // past the end of the whole song
    position_ = total.value_or(sample);
    return true;
  }
  const std::size_t first = index_.preroll_start(frame);
  frames_.seek_to(index_.offset(first));
  decoder_->restart();
  discard_ = decoded - static_cast<std::int64_t>(first) * frame_samples_;
  position_ = sample;
  ended_ = false;
  return true;
}

// The LAME tag counts the frames of the song it was written for; more frames after them (songs joined
// into one file) make it no measure of this file, and then nothing is cut at its end.
void SongStream::check_tag() {
  if (trim_.length && index_.frames() > *frames_.summary()->frames) trim_.length.reset();
}

FrameRead SongStream::at_tagged_end() {
  if (index_.reach(*frames_.summary()->frames)) {
    check_tag();
    return FrameRead::frame;
  }
  if (!index_.complete()) return FrameRead::wait;
  ended_ = true;
  return FrameRead::end;
}

std::optional<std::int64_t> SongStream::duration() const {
  if (trim_.length) return trim_.length;
  const std::optional<Mp3SummaryFrame>& summary = frames_.summary();
  if (summary && summary->frames && index_.frames() <= *summary->frames)
    return static_cast<std::int64_t>(*summary->frames) * frame_samples_;
  if (index_.complete()) return static_cast<std::int64_t>(index_.frames()) * frame_samples_ - trim_.skip;
  if (summary && summary->vbr) return std::nullopt;
  const std::uint64_t bytes = source_->state() == SourceState::complete ? source_->size() : expected_bytes_;
  if (!index_.constant_rate() || bytes <= frames_.first_audio()) return std::nullopt;
  return constant_rate_samples(bytes - frames_.first_audio(), frames_.format());
}

std::int64_t SongStream::available() {
  index_.extend(kIndexStep);
  check_tag();
  const std::optional<std::int64_t> total = duration();
  if (source_->state() == SourceState::complete && total) return *total;
  const std::int64_t walked = static_cast<std::int64_t>(index_.frames()) * frame_samples_ - trim_.skip;
  return std::clamp<std::int64_t>(walked, 0, total.value_or(walked));
}

}  // namespace qiwa
