#include "runtime/playback.hpp"

#include <algorithm>
#include <iterator>

namespace qiwa {
namespace {

// The first buffers after a start or a seek are short, so that the first sound does not wait for a
// whole buffer's decoding.
constexpr std::int64_t kRampMs[] = {30, 60, 120};

}  // namespace

PlayerPosition Timeline::at(std::uint64_t played) const {
  if (ended) return *ended;
  if (segments.empty()) return {};
  const PlaySegment* heard = &segments.front();
  for (const PlaySegment& s : segments)
    if (s.start <= played) heard = &s;
  PlayerPosition p;
  p.id = heard->id;
  p.paused = paused;
  p.duration_ms = heard->duration_ms;
  p.available_ms = heard->available_ms;
  const auto into = static_cast<std::int64_t>(played > heard->start ? played - heard->start : 0);
  p.ms = held_ms ? *held_ms : ms_at(heard->song_sample + into, heard->rate);
  if (p.duration_ms) p.ms = std::min(p.ms, *p.duration_ms);
  return p;
}

bool Playback::start(LoadedSong song, const StartAt& at) {
  next_.reset();
  current_.reset();
  ended_.reset();
  const PcmFormat format = song.stream->pcm();
  if (!open_for(format)) {
    events_.push_back({PlayerEvent::Kind::open_failed, song.song.id});
    finished_ = true;
    return false;
  }
  if (at.ms > 0) song.stream->seek(samples_at(at.ms, format.sample_rate));
  current_ = std::move(song);
  paused_ = at.paused;
  requeue_due_ = false;
  held_ms_.reset();
  if (paused_) held_ms_ = ms_at(current_->stream->sample(), format.sample_rate);
  started_told_ = false;
  finished_ = false;
  restart_queue();
  fill();
  return true;
}

// The device for this format, emptied: opened again only when the format differs.
bool Playback::open_for(const PcmFormat& format) {
  if (open_ && format == format_) {
    device_.reset();
    return true;
  }
  device_.close();
  format_ = format;
  open_ = device_.open(format);
  device_paused_ = false;  // a new device plays at its first write
  const auto align = static_cast<std::size_t>(format.block_align);
  const std::size_t size = static_cast<std::size_t>(samples_at(kBufferMs, format.sample_rate)) * align;
  for (Buffer& b : buffers_) b.data.assign(std::max(size, align), 0);
  return open_;
}

// After the device was opened or reset: nothing queued, the current song first, from where it stands.
void Playback::restart_queue() {
  for (Buffer& b : buffers_) b.state = BufferState::free;
  ready_.clear();
  decoded_ = returned_ = 0;
  filled_ = 0;
  feeding_next_ = fed_out_ = reopen_ = starved_ = false;
  segments_ = {current_from_here()};
}

// The device's samples from 0 on are the current song's from where its stream stands.
PlaySegment Playback::current_from_here() const {
  return {0, current_->song.id, current_->stream->sample(), format_.sample_rate, std::nullopt, 0};
}

// What the device holds is dropped and the current song queued again from its stream's place. A
// paused device is left alone until the resume: emptied, it would start at its next write.
void Playback::requeue() {
  if (feeding_next_ && next_) next_->stream->seek(0);
  feeding_next_ = fed_out_ = reopen_ = starved_ = false;
  if (paused_) {
    requeue_due_ = true;
    segments_ = {current_from_here()};
    return;
  }
  requeue_due_ = false;
  device_.reset();
  restart_queue();
  fill();
}

bool Playback::seek(std::int64_t ms) {
  if (!current_ || finished_) return false;
  if (!current_->stream->seek(samples_at(ms, format_.sample_rate))) return false;
  if (paused_) held_ms_ = ms_at(current_->stream->sample(), format_.sample_rate);
  requeue();
  return true;
}

void Playback::set_next(std::optional<LoadedSong> next) {
  if (finished_) return;
  if (feeding_next_) {
    const bool heard = device_.played() >= segments_.back().start;
    if (heard) {
      advance(true);  // the old one is already sounding: the new one follows it instead
    } else {
      current_->stream->seek(heard_sample());
      next_ = std::move(next);
      requeue();
      return;
    }
  }
  next_ = std::move(next);
  reopen_ = false;
  if (fed_out_) {
    fed_out_ = false;
    follow_on();
  }
  fill();
}

void Playback::set_paused(bool paused) {
  if (finished_ || paused == paused_) return;
  if (paused) {
    held_ms_ = timeline().at(device_.played()).ms;
    paused_ = true;
    pause_device(true);
    return;
  }
  paused_ = false;
  held_ms_.reset();
  if (requeue_due_)
    requeue();
  else
    write_ready();
}

void Playback::pause_device(bool paused) {
  if (paused == device_paused_) return;
  if (paused)
    device_.pause();
  else
    device_.resume();
  device_paused_ = paused;
}

// Buffers the device gave back tell which songs were heard out; the end of the sound may also be found
// with nothing left on the device (a download that broke after its bytes were played up to), and then
// no buffer will come back to wake the thread: what follows the end is done at once.
void Playback::service() {
  if (finished_) return;
  for (int i = 0; i < SoundDevice::kSlots; ++i) {
    Buffer& b = buffers_[i];
    if (b.state == BufferState::queued && device_.back(i)) {
      b.state = BufferState::free;
      returned_ = std::max(returned_, b.end);
    }
  }
  settle();
  while (!finished_) {
    fill();
    if (!settle()) break;
  }
}

bool Playback::holding() const {
  return std::any_of(std::begin(buffers_), std::end(buffers_), [](const Buffer& b) { return b.state != BufferState::free; });
}

// The songs heard out give way to the next; an empty device at the end of the sound is reopened for
// the next song's format (true: then it is to be filled) or, with nothing to follow, done.
bool Playback::settle() {
  if (requeue_due_) return false;  // what the device holds is to go: it tells nothing
  while (segments_.size() > 1 && returned_ >= segments_[1].start) advance(true);
  if (finished_ || holding()) return false;
  if (reopen_) {
    reopen_for_next();
    return !finished_;
  }
  if (fed_out_) drain();
  return false;
}

// The song queued behind the current one is heard now.
void Playback::advance(bool gapless) {
  const std::uint64_t previous = current_->song.id;
  current_ = std::move(next_);
  next_.reset();
  feeding_next_ = false;
  if (gapless) segments_.erase(segments_.begin());
  events_.push_back({PlayerEvent::Kind::advanced, current_->song.id, previous, gapless});
}

// The current song has been played out; the next one needs the device in its own format.
void Playback::reopen_for_next() {
  advance(false);
  if (!open_for(current_->stream->pcm())) {
    events_.push_back({PlayerEvent::Kind::open_failed, current_->song.id});
    current_.reset();
    finished_ = true;
    return;
  }
  restart_queue();
}

void Playback::drain() {
  const PlaySegment& last = segments_.back();
  PlayerPosition end;
  end.id = current_->song.id;
  end.ms = ms_at(last.song_sample + static_cast<std::int64_t>(decoded_ - last.start), last.rate);
  end.duration_ms = last.duration_ms;
  end.available_ms = last.available_ms;
  end.ended = true;
  ended_ = end;
  events_.push_back({PlayerEvent::Kind::drained, current_->song.id});
  current_.reset();
  next_.reset();
  finished_ = true;
}

void Playback::fill() {
  if (requeue_due_) return;
  starved_ = false;
  for (int i = 0; i < SoundDevice::kSlots;) {
    if (finished_ || fed_out_ || reopen_ || starved_) break;
    if (buffers_[i].state != BufferState::free || fill_one(i)) ++i;
  }
  write_ready();
}

// Decodes into a free buffer; false when it got no sound (the song ended: the buffer is filled from
// the next one, or the feeding stops).
bool Playback::fill_one(int slot) {
  Buffer& b = buffers_[slot];
  std::size_t target = b.data.size();
  const auto align = static_cast<std::size_t>(format_.block_align);
  if (filled_ < static_cast<int>(std::size(kRampMs)))
    target = std::min(target, std::max<std::size_t>(1, static_cast<std::size_t>(samples_at(kRampMs[filled_], format_.sample_rate))) * align);
  LoadedSong& song = feeding();
  const Decoded d = song.stream->read(b.data.data(), target);
  if (d.bytes > 0) {
    decoded_ += d.bytes / align;
    b.size = d.bytes;
    b.end = decoded_;
    b.state = BufferState::ready;
    ready_.push_back(slot);
    ++filled_;
  }
  if (d.status == FrameRead::wait) {
    starved_ = true;
  } else if (d.status == FrameRead::end) {
    if (song.stream->source_failed() && !song.failure_told) {
      song.failure_told = true;
      events_.push_back({PlayerEvent::Kind::source_failed, song.song.id});
    }
    follow_on();
  }
  return d.bytes > 0;
}

// Hands the decoded buffers to the device, in the order they were decoded.
void Playback::write_ready() {
  if (paused_) return;
  for (const int slot : ready_) {
    Buffer& b = buffers_[slot];
    if (!device_.write(slot, b.data.data(), b.size)) {
      ready_.clear();
      drain();  // the device refuses: nothing more can be heard
      return;
    }
    b.state = BufferState::queued;
    if (!started_told_) {
      started_told_ = true;
      events_.push_back({PlayerEvent::Kind::started, current_->song.id});
    }
  }
  ready_.clear();
  pause_device(false);  // after the writes: a device still paused through a reset plays on
}

// The song being fed has no more sound: the next one's samples follow in the next buffer, unless it
// needs the device in another format (then it waits for the device to empty) or there is none.
void Playback::follow_on() {
  if (feeding_next_ || !next_) {
    fed_out_ = true;
    return;
  }
  if (!(next_->stream->pcm() == format_)) {
    reopen_ = true;
    return;
  }
  feeding_next_ = true;
  segments_.push_back({decoded_, next_->song.id, next_->stream->sample(), format_.sample_rate, std::nullopt, 0});
}

std::int64_t Playback::heard_sample() {
  const PlaySegment& s = segments_.front();
  const std::uint64_t played = std::min(device_.played(), decoded_);
  return s.song_sample + static_cast<std::int64_t>(played > s.start ? played - s.start : 0);
}

Timeline Playback::timeline() {
  Timeline t;
  t.paused = paused_;
  t.held_ms = held_ms_;
  t.ended = ended_;
  t.segments = segments_;
  if (finished_) return t;
  for (std::size_t i = 0; i < t.segments.size(); ++i) {
    LoadedSong& song = i == 0 ? *current_ : *next_;
    PlaySegment& s = t.segments[i];
    if (const std::optional<std::int64_t> total = song.stream->duration()) s.duration_ms = ms_at(*total, s.rate);
    s.available_ms = ms_at(song.stream->available(), s.rate);
  }
  return t;
}

int Playback::wait_ms() const {
  if (finished_) return 0;
  return starved_ && !paused_ ? kStarvedWaitMs : -1;
}

}  // namespace qiwa
