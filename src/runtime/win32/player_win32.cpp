// The process-wide MP3 player. Each song gets a playback thread of its own, which reads the file piece
// by piece as it plays (about a second ahead of the device), decodes it through the system's MP3 codec
// and keeps a few buffers queued on a waveOut device: memory does not grow with the song. Only that
// thread touches the file and the device; play, pause, resume and stop reach it through atomics and an
// event, from any thread.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "runtime/mp3_decoder.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

using WaveOut = Handle<SimpleTraits<HWAVEOUT, &waveOutClose>>;

constexpr int kBuffers = 4;
constexpr DWORD kBufferMs = 250;  // so about a second is queued
// The first buffers are short, so that the first sound does not wait for a whole buffer's decoding.
constexpr std::size_t kRampMs[] = {30, 60, 120};
constexpr DWORD kIdleWaitMs = 500;
constexpr DWORD kStarvedWaitMs = 50;  // how often a growing file is looked at again once played up to

struct WaveBuffer {
  WAVEHDR header{};
  Bytes data;
  bool queued = false;
};

// A song file opened and checked, with its codec: ready to start.
struct OpenedSong {
  std::unique_ptr<SongSource> source;
  std::unique_ptr<Mp3FrameReader> frames;
  std::unique_ptr<Mp3Codec> codec;
};

std::optional<OpenedSong> open_song(std::string_view path, std::function<SourceState()> state = {}) {
  OpenedSong song;
  song.source = open_song_file(path, std::move(state));
  if (!song.source) return std::nullopt;
  song.frames = std::make_unique<Mp3FrameReader>(*song.source);
  if (song.frames->open() != FrameRead::frame) return std::nullopt;
  song.codec = open_acm_codec(song.frames->format());
  if (!song.codec) return std::nullopt;
  return song;
}

// One song being played; destroying it stops the sound, joins the thread and closes the file.
class Playback {
 public:
  Playback(OpenedSong song, int times);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  void set_paused(bool paused);
  std::int64_t position_ms();

 private:
  void run();
  bool open_output();
  void close_output();
  void apply_pause(bool& device_paused);
  void collect_returned();
  FrameRead fill(WaveBuffer& buffer);
  bool queue(WaveBuffer& buffer, std::size_t size);
  bool next_pass();
  bool any_queued() const;

  OpenedSong song_;
  Mp3Decoder decoder_;
  int passes_left_;  // negative: without end
  std::size_t pass_bytes_ = 0;
  std::size_t fills_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> paused_{false};
  KernelHandle wake_;          // stop or pause changed
  KernelHandle device_event_;  // the device gave a buffer back
  std::mutex device_mutex_;  // the device handle, between this thread's close and a position asked
  WaveOut device_;
  std::int64_t last_ms_ = 0;  // the position when the device closed
  WaveBuffer buffers_[kBuffers];
  std::thread thread_;  // last: it starts once everything else is in place
};

KernelHandle auto_reset_event() {
  return KernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

Playback::Playback(OpenedSong song, int times)
    : song_(std::move(song)),
      decoder_(*song_.frames, *song_.codec),
      passes_left_(times < 0 ? -1 : times),
      wake_(auto_reset_event()),
      device_event_(auto_reset_event()) {
  if (!wake_ || !device_event_)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  thread_ = std::thread([this] { run(); });
}

Playback::~Playback() {
  stopping_ = true;
  SetEvent(wake_.get());
  if (thread_.joinable()) thread_.join();
}

void Playback::set_paused(bool paused) {
  paused_ = paused;
  SetEvent(wake_.get());
}

std::int64_t Playback::position_ms() {
  std::lock_guard<std::mutex> lock(device_mutex_);
  if (!device_) return last_ms_;
  MMTIME at{};
  at.wType = TIME_BYTES;
  if (waveOutGetPosition(device_.get(), &at, sizeof at) != MMSYSERR_NOERROR || at.wType != TIME_BYTES) return 0;
  const PcmFormat pcm = song_.codec->pcm();
  const std::int64_t per_second = static_cast<std::int64_t>(pcm.sample_rate) * pcm.block_align;
  return per_second > 0 ? static_cast<std::int64_t>(at.u.cb) * 1000 / per_second : 0;
}

void Playback::run() {
  try {
    if (!open_output()) return;
    bool device_paused = false;
    bool more = true;  // the song may still give sound
    while (!stopping_) {
      apply_pause(device_paused);
      collect_returned();
      bool starved = false;  // played up to where a growing file ends for now
      for (WaveBuffer& b : buffers_) {
        if (!more || starved || b.queued) continue;
        const FrameRead status = fill(b);
        more = status != FrameRead::end;
        starved = status == FrameRead::wait;
      }
      if (!more && !any_queued()) break;  // the last buffer has been played
      HANDLE waits[2] = {wake_.get(), device_event_.get()};
      WaitForMultipleObjects(2, waits, FALSE, starved ? kStarvedWaitMs : kIdleWaitMs);
    }
  } catch (...) {
    // Out of memory for a buffer: the song ends, the process goes on.
  }
  close_output();
}

bool Playback::open_output() {
  const PcmFormat pcm = song_.codec->pcm();
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(pcm.channels);
  format.nSamplesPerSec = static_cast<DWORD>(pcm.sample_rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(pcm.block_align);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  if (pcm.block_align <= 0) return false;
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(device_event_.get()), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR)
    return false;
  std::lock_guard<std::mutex> lock(device_mutex_);
  device_.reset(device);
  DWORD size = format.nAvgBytesPerSec / 1000 * kBufferMs;
  size -= size % format.nBlockAlign;
  if (size < format.nBlockAlign) size = format.nBlockAlign;
  for (WaveBuffer& b : buffers_) b.data.assign(size, 0);
  return true;
}

// Stops the device, takes every buffer back and closes it.
void Playback::close_output() {
  if (!device_) return;
  const std::int64_t at = position_ms();  // the reset sets it back to 0
  waveOutReset(device_.get());
  for (WaveBuffer& b : buffers_) {
    for (int i = 0; b.queued && !(b.header.dwFlags & WHDR_DONE) && i < 200; ++i) Sleep(10);
  }
  collect_returned();
  std::lock_guard<std::mutex> lock(device_mutex_);
  last_ms_ = at;
  device_.reset();
}

void Playback::apply_pause(bool& device_paused) {
  bool want = paused_;
  if (want == device_paused) return;
  if (want)
    waveOutPause(device_.get());
  else
    waveOutRestart(device_.get());
  device_paused = want;
}

void Playback::collect_returned() {
  for (WaveBuffer& b : buffers_) {
    if (!b.queued || !(b.header.dwFlags & WHDR_DONE)) continue;
    waveOutUnprepareHeader(device_.get(), &b.header, sizeof b.header);
    b.queued = false;
  }
}

// Decodes into the buffer (short ones first) and queues what it got. Tells whether the buffer is full
// (`frame`), the file's bytes so far are played up to (`wait`) or the song has no more sound (`end`).
FrameRead Playback::fill(WaveBuffer& buffer) {
  const std::size_t align = static_cast<std::size_t>(song_.codec->pcm().block_align);
  std::size_t target = buffer.data.size();
  if (fills_ < std::size(kRampMs)) {
    const std::size_t per_ms = static_cast<std::size_t>(song_.codec->pcm().sample_rate) * align / 1000;
    target = std::min(target, std::max(align, per_ms * kRampMs[fills_] / align * align));
  }
  std::size_t n = 0;
  FrameRead status = FrameRead::frame;
  while (n < target) {
    const Decoded d = decoder_.read(buffer.data.data() + n, target - n);
    n += d.bytes;
    pass_bytes_ += d.bytes;
    if (d.status == FrameRead::frame) continue;
    if (d.status == FrameRead::end && next_pass()) continue;
    status = d.status;
    break;
  }
  n -= n % align;
  if (n > 0 && !queue(buffer, n)) return FrameRead::end;
  return status;
}

bool Playback::queue(WaveBuffer& buffer, std::size_t size) {
  ++fills_;
  buffer.header = WAVEHDR{};
  buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.data.data());
  buffer.header.dwBufferLength = static_cast<DWORD>(size);
  if (waveOutPrepareHeader(device_.get(), &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) return false;
  if (waveOutWrite(device_.get(), &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(device_.get(), &buffer.header, sizeof buffer.header);
    return false;
  }
  buffer.queued = true;
  return true;
}

// Starts the song over when it is to be played again; a pass that gave no sound is not repeated.
bool Playback::next_pass() {
  if (passes_left_ == 1 || passes_left_ == 0 || pass_bytes_ == 0) return false;
  if (passes_left_ > 0) --passes_left_;
  pass_bytes_ = 0;
  song_.frames->rewind();
  decoder_.restart();
  return true;
}

bool Playback::any_queued() const {
  for (const WaveBuffer& b : buffers_) {
    if (b.queued) return true;
  }
  return false;
}

class WaveOutPlayer final : public Player {
 public:
  bool play(std::string_view path, int times) override;
  void prepare() override;
  bool play_growing(std::string_view path, std::function<SourceState()> state) override {
    return start(open_song(path, std::move(state)), 1);
  }
  void pause() override { set_paused(true); }
  void resume() override { set_paused(false); }
  std::int64_t position_ms() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_ ? current_->position_ms() : 0;
  }
  void stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    current_.reset();
  }

 private:
  void set_paused(bool paused) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) current_->set_paused(paused);
  }
  bool start(std::optional<OpenedSong> song, int times);

  std::mutex mutex_;
  std::unique_ptr<Playback> current_;
  std::once_flag prepared_;
};

// The file is opened and checked before the lock is taken, so a pause from another thread never waits
// on the disk; the current song stops either way.
bool WaveOutPlayer::play(std::string_view path, int times) {
  if (times == 0) {
    stop();
    return true;
  }
  return start(open_song(path), times);
}

void WaveOutPlayer::prepare() {
  std::call_once(prepared_, [] {
    waveOutGetNumDevs();  // the audio driver
    Mp3FrameHeader typical;  // 128 kbit/s stereo at 44.1 kHz: the codec and its driver
    typical.bit_rate = 128000;
    typical.sample_rate = 44100;
    typical.channels = 2;
    typical.samples = 1152;
    typical.length = 417;
    open_acm_codec(typical);
  });
}

bool WaveOutPlayer::start(std::optional<OpenedSong> song, int times) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.reset();
  if (!song) return false;
  try {
    current_ = std::make_unique<Playback>(std::move(*song), times);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Player> make_waveout_player() {
  return std::make_unique<WaveOutPlayer>();
}

}  // namespace qiwa
