// The program's sound device: one waveOut stream, its buffers given back through an event, its position
// counted in samples, the program's volume on it.
#include <windows.h>
#include <mmsystem.h>

#include <mutex>
#include <system_error>

#include "runtime/sound_device.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

using WaveOut = Handle<SimpleTraits<HWAVEOUT, &waveOutClose>>;

KernelHandle auto_reset_event() {
  KernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  return event;
}

// 0 to 100 as waveOut's level of both channels: 100 is 0xFFFF, the samples as they are.
DWORD wave_volume(int percent) {
  const DWORD level = static_cast<DWORD>((percent * 0xFFFF + 50) / 100);
  return level | level << 16;
}

class WaveOutDevice final : public SoundDevice {
 public:
  WaveOutDevice() : wake_(auto_reset_event()), returned_(auto_reset_event()) {}
  ~WaveOutDevice() override { close(); }
  WaveOutDevice(const WaveOutDevice&) = delete;
  WaveOutDevice& operator=(const WaveOutDevice&) = delete;

  bool open(const PcmFormat& pcm) override;
  void close() override;
  bool write(int slot, const unsigned char* data, std::size_t size) override;
  bool back(int slot) override;
  void reset() override;
  void pause() override;
  void resume() override;
  std::uint64_t played() override;
  void set_volume(int percent) override;
  void wait(int ms) override {
    HANDLE events[2] = {wake_.get(), returned_.get()};
    WaitForMultipleObjects(2, events, FALSE, ms < 0 ? INFINITE : static_cast<DWORD>(ms));
  }
  void wake() override { SetEvent(wake_.get()); }

 private:
  KernelHandle wake_;
  KernelHandle returned_;  // the device gave a buffer back (CALLBACK_EVENT)
  // The handle, between the playing thread's opening and closing and other threads' position and
  // volume; and the position's count, which a reset starts again.
  std::mutex mutex_;
  WaveOut device_;
  int block_align_ = 0;
  DWORD last_position_ = 0;
  std::uint64_t wraps_ = 0;  // waveOut counts in 32 bits: about 27 hours of 44.1 kHz samples
  int volume_ = 100;
  WAVEHDR headers_[kSlots] = {};
  bool queued_[kSlots] = {};
};

bool WaveOutDevice::open(const PcmFormat& pcm) {
  close();
  if (pcm.block_align <= 0 || pcm.channels <= 0) return false;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(pcm.channels);
  format.nSamplesPerSec = static_cast<DWORD>(pcm.sample_rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(pcm.block_align);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(returned_.get()), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR)
    return false;
  std::lock_guard lock(mutex_);
  device_.reset(device);
  block_align_ = pcm.block_align;
  last_position_ = 0;
  wraps_ = 0;
  waveOutSetVolume(device, wave_volume(volume_));
  return true;
}

void WaveOutDevice::close() {
  if (!device_) return;
  reset();
  std::lock_guard lock(mutex_);
  device_.reset();
}

bool WaveOutDevice::write(int slot, const unsigned char* data, std::size_t size) {
  WAVEHDR& h = headers_[slot];
  h = WAVEHDR{};
  h.lpData = reinterpret_cast<LPSTR>(const_cast<unsigned char*>(data));
  h.dwBufferLength = static_cast<DWORD>(size);
  if (waveOutPrepareHeader(device_.get(), &h, sizeof h) != MMSYSERR_NOERROR) return false;
  if (waveOutWrite(device_.get(), &h, sizeof h) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(device_.get(), &h, sizeof h);
    return false;
  }
  queued_[slot] = true;
  return true;
}

bool WaveOutDevice::back(int slot) {
  if (!queued_[slot]) return true;
  if (!(headers_[slot].dwFlags & WHDR_DONE)) return false;
  waveOutUnprepareHeader(device_.get(), &headers_[slot], sizeof headers_[slot]);
  queued_[slot] = false;
  return true;
}

// waveOutReset gives every buffer back; its event says when the last is marked done.
void WaveOutDevice::reset() {
  {
    std::lock_guard lock(mutex_);
    waveOutReset(device_.get());
    last_position_ = 0;
    wraps_ = 0;
  }
  for (int round = 0; round < 20; ++round) {
    bool all_back = true;
    for (int i = 0; i < kSlots; ++i) all_back = back(i) && all_back;
    if (all_back) break;
    WaitForSingleObject(returned_.get(), 100);
  }
}

void WaveOutDevice::pause() { waveOutPause(device_.get()); }

void WaveOutDevice::resume() { waveOutRestart(device_.get()); }

std::uint64_t WaveOutDevice::played() {
  std::lock_guard lock(mutex_);
  if (!device_) return 0;
  MMTIME at{};
  at.wType = TIME_SAMPLES;
  if (waveOutGetPosition(device_.get(), &at, sizeof at) != MMSYSERR_NOERROR) return 0;
  // A driver that cannot count samples answers in bytes.
  const DWORD now = at.wType == TIME_SAMPLES ? at.u.sample : at.wType == TIME_BYTES ? at.u.cb : 0;
  if (now < last_position_) ++wraps_;
  last_position_ = now;
  const std::uint64_t count = wraps_ << 32 | now;
  return at.wType == TIME_BYTES ? count / static_cast<std::uint64_t>(block_align_) : count;
}

void WaveOutDevice::set_volume(int percent) {
  std::lock_guard lock(mutex_);
  volume_ = percent;
  if (device_) waveOutSetVolume(device_.get(), wave_volume(percent));
}

}  // namespace

std::unique_ptr<SoundDevice> make_waveout_device() { return std::make_unique<WaveOutDevice>(); }

}  // namespace qiwa
