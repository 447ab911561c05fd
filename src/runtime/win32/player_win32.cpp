// The process-wide MP3 player. Each song is read whole into memory (so no file stays open while it
// plays) and gets a playback thread of its own, which decodes it through the system's MP3 codec and
// keeps a few buffers queued on a waveOut device. Only that thread touches the device; play, pause,
// resume and stop reach it through atomics and an event, from any thread.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/mp3_decoder_win32.hpp"

namespace qiwa {
namespace {

using WaveOut = Handle<SimpleTraits<HWAVEOUT, &waveOutClose>>;

constexpr int kBuffers = 4;
constexpr DWORD kBufferMs = 250;  // so about a second is queued
constexpr DWORD kIdleWaitMs = 500;

struct WaveBuffer {
  WAVEHDR header{};
  Bytes data;
  bool queued = false;
};

// One song being played; destroying it stops the sound and joins the thread.
class Playback {
 public:
  Playback(Mp3Frames frames, std::unique_ptr<Mp3Decoder> decoder, int times);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  void set_paused(bool paused);

 private:
  void run();
  bool open_output();
  void close_output();
  void apply_pause(bool& device_paused);
  void collect_returned();
  bool fill(WaveBuffer& buffer);
  bool next_pass();
  bool any_queued() const;

  Mp3Frames frames_;
  std::unique_ptr<Mp3Decoder> decoder_;
  int passes_left_;  // negative: without end
  std::size_t pass_bytes_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> paused_{false};
  KernelHandle wake_;          // stop or pause changed
  KernelHandle device_event_;  // the device gave a buffer back
  WaveOut device_;
  WaveBuffer buffers_[kBuffers];
  std::thread thread_;  // last: it starts once everything else is in place
};

KernelHandle auto_reset_event() {
  return KernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

Playback::Playback(Mp3Frames frames, std::unique_ptr<Mp3Decoder> decoder, int times)
    : frames_(std::move(frames)),
      decoder_(std::move(decoder)),
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

void Playback::run() {
  try {
    if (!open_output()) return;
    bool device_paused = false;
    bool more = true;  // the decoder may still give sound
    while (!stopping_) {
      apply_pause(device_paused);
      collect_returned();
      for (WaveBuffer& b : buffers_) {
        if (more && !b.queued) more = fill(b);
      }
      if (!more && !any_queued()) break;  // the last buffer has been played
      HANDLE waits[2] = {wake_.get(), device_event_.get()};
      WaitForMultipleObjects(2, waits, FALSE, kIdleWaitMs);
    }
  } catch (...) {
    // Out of memory for a buffer: the song ends, the process goes on.
  }
  close_output();
}

bool Playback::open_output() {
  const WAVEFORMATEX& format = decoder_->pcm_format();
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(device_event_.get()), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR)
    return false;
  device_.reset(device);
  DWORD align = format.nBlockAlign ? format.nBlockAlign : 1;
  DWORD size = format.nAvgBytesPerSec / 1000 * kBufferMs;
  size -= size % align;
  if (size < align) size = align;
  for (WaveBuffer& b : buffers_) b.data.assign(size, 0);
  return true;
}

// Stops the device, takes every buffer back and closes it.
void Playback::close_output() {
  if (!device_) return;
  waveOutReset(device_.get());
  for (WaveBuffer& b : buffers_) {
    for (int i = 0; b.queued && !(b.header.dwFlags & WHDR_DONE) && i < 200; ++i) Sleep(10);
  }
  collect_returned();
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

// Decodes into the buffer and queues it; false when the song has no more sound (or the device refused).
bool Playback::fill(WaveBuffer& buffer) {
  std::size_t capacity = buffer.data.size();
  std::size_t n = decoder_->read(frames_, buffer.data.data(), capacity);
  pass_bytes_ += n;
  while (n < capacity && next_pass()) {
    std::size_t got = decoder_->read(frames_, buffer.data.data() + n, capacity - n);
    pass_bytes_ += got;
    n += got;
  }
  DWORD align = decoder_->pcm_format().nBlockAlign ? decoder_->pcm_format().nBlockAlign : 1;
  n -= n % align;
  if (n == 0) return false;
  buffer.header = WAVEHDR{};
  buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.data.data());
  buffer.header.dwBufferLength = static_cast<DWORD>(n);
  if (waveOutPrepareHeader(device_.get(), &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR)
    return false;
  if (waveOutWrite(device_.get(), &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(device_.get(), &buffer.header, sizeof buffer.header);
    return false;
  }
  buffer.queued = true;
  return n == capacity;
}

// Starts the song over when it is to be played again; a pass that gave no sound is not repeated.
bool Playback::next_pass() {
  if (passes_left_ == 1 || passes_left_ == 0 || pass_bytes_ == 0) return false;
  if (passes_left_ > 0) --passes_left_;
  pass_bytes_ = 0;
  frames_.rewind();
  decoder_->restart();
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
  void pause() override { set_paused(true); }
  void resume() override { set_paused(false); }
  void stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    current_.reset();
  }

 private:
  void set_paused(bool paused) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) current_->set_paused(paused);
  }

  std::mutex mutex_;
  std::unique_ptr<Playback> current_;
};

// A song file read, checked and with its decoder open, ready to start.
struct OpenedSong {
  Mp3Frames frames;
  std::unique_ptr<Mp3Decoder> decoder;
};

std::optional<OpenedSong> open_song(std::string_view path) {
  std::optional<Bytes> data = read_song_file(path);
  if (!data) return std::nullopt;
  std::optional<Mp3Frames> frames = Mp3Frames::from(std::move(*data));
  if (!frames) return std::nullopt;
  std::unique_ptr<Mp3Decoder> decoder = Mp3Decoder::open(frames->format());
  if (!decoder) return std::nullopt;
  return OpenedSong{std::move(*frames), std::move(decoder)};
}

// The file is read and checked before the lock is taken, so a pause from another thread never waits
// on the disk; the current song stops either way.
bool WaveOutPlayer::play(std::string_view path, int times) {
  std::optional<OpenedSong> song;
  if (times != 0) song = open_song(path);
  std::lock_guard<std::mutex> lock(mutex_);
  current_.reset();
  if (times == 0) return true;
  if (!song) return false;
  try {
    current_ = std::make_unique<Playback>(std::move(song->frames), std::move(song->decoder), times);
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
