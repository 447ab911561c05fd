// The system's MP3 codec through the Audio Compression Manager: one conversion stream from the song's
// format to 16-bit PCM of the same rate and channels, with one prepared header over buffers of its own.
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <mutex>

#include "runtime/mp3_decoder.hpp"
#include "runtime/types.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

inline void close_acm_stream(HACMSTREAM stream) noexcept {
  acmStreamClose(stream, 0);
}
using AcmStream = Handle<SimpleTraits<HACMSTREAM, &close_acm_stream>>;

constexpr std::size_t kMaxFrame = 2048;  // a Layer III frame is at most 1441 bytes
// What the decoder hands over at once: its frames per call and what the codec left of the last.
constexpr std::size_t kInputBytes = (Mp3Decoder::kFramesPerConvert + 2) * kMaxFrame;

MPEGLAYER3WAVEFORMAT mp3_format(const Mp3FrameHeader& h) {
  MPEGLAYER3WAVEFORMAT f{};
  f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  f.wfx.nChannels = static_cast<WORD>(h.channels);
  f.wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
  f.wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bit_rate / 8);
  f.wfx.nBlockAlign = 1;
  f.wfx.wBitsPerSample = 0;
  f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  f.wID = MPEGLAYER3_ID_MPEG;
  f.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
  f.nBlockSize = static_cast<WORD>(h.length - (h.padding ? 1 : 0));
  f.nFramesPerBlock = 1;
  f.nCodecDelay = 1393;  // the usual decoder delay in samples; only a hint
  return f;
}

inline void close_acm_driver(HACMDRIVER driver) noexcept {
  acmDriverClose(driver, 0);
}
using AcmDriver = Handle<SimpleTraits<HACMDRIVER, &close_acm_driver>>;

// The driver that decoded the first song, opened once and kept: asked without a driver, the manager
// opens and closes every installed codec in turn, which cost about 20 ms a song.
class Mp3Driver {
 public:
  HACMDRIVER get() {
    std::lock_guard<std::mutex> lock(mutex_);
    return driver_.get();
  }
  void remember_driver_of(HACMSTREAM stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    HACMDRIVERID id = nullptr;
    HACMDRIVER driver = nullptr;
    if (driver_ || acmDriverID(reinterpret_cast<HACMOBJ>(stream), &id, 0) != MMSYSERR_NOERROR) return;
    if (acmDriverOpen(&driver, id, 0) == MMSYSERR_NOERROR) driver_.reset(driver);
  }

 private:
  std::mutex mutex_;
  AcmDriver driver_;
};

Mp3Driver& mp3_driver() {
  static Mp3Driver driver;
  return driver;
}

// 16-bit PCM of the song's rate and channels, as the codec suggests it (or made up if it will not say).
WAVEFORMATEX pcm_format_for(HACMDRIVER driver, const MPEGLAYER3WAVEFORMAT& mp3) {
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  MMRESULT r = acmFormatSuggest(driver, const_cast<WAVEFORMATEX*>(&mp3.wfx), &pcm, sizeof pcm,
                                ACM_FORMATSUGGESTF_WFORMATTAG);
  if (r != MMSYSERR_NOERROR || pcm.wFormatTag != WAVE_FORMAT_PCM || pcm.nBlockAlign == 0) {
    pcm = WAVEFORMATEX{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = mp3.wfx.nChannels;
    pcm.nSamplesPerSec = mp3.wfx.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
  }
  pcm.cbSize = 0;
  return pcm;
}

class AcmMp3Codec final : public Mp3Codec {
 public:
  AcmMp3Codec(AcmStream stream, const WAVEFORMATEX& pcm) : stream_(std::move(stream)), pcm_(pcm) {}
  ~AcmMp3Codec() override {
    if (!prepared_) return;
    // The header goes back to its prepared lengths before it is unprepared.
    header_.cbSrcLength = static_cast<DWORD>(input_.size());
    header_.cbDstLength = static_cast<DWORD>(output_.size());
    acmStreamUnprepareHeader(stream_.get(), &header_, 0);
  }
  AcmMp3Codec(const AcmMp3Codec&) = delete;
  AcmMp3Codec& operator=(const AcmMp3Codec&) = delete;

  bool prepare(const Mp3FrameHeader& format);

  PcmFormat pcm() const override { return {static_cast<int>(pcm_.nSamplesPerSec), pcm_.nChannels, pcm_.nBlockAlign}; }
  unsigned char* input() override { return input_.data(); }
  std::size_t input_capacity() const override { return input_.size(); }
  const unsigned char* output() const override { return output_.data(); }

  bool convert(std::size_t size, bool start, bool last, std::size_t& consumed, std::size_t& produced) override {
    DWORD flags = last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
    if (start) flags |= ACM_STREAMCONVERTF_START;
    header_.cbSrcLength = static_cast<DWORD>(std::min(size, input_.size()));
    header_.cbDstLength = static_cast<DWORD>(output_.size());
    header_.cbSrcLengthUsed = header_.cbDstLengthUsed = 0;
    if (acmStreamConvert(stream_.get(), &header_, flags) != MMSYSERR_NOERROR) return false;
    consumed = std::min<std::size_t>(header_.cbSrcLengthUsed, header_.cbSrcLength);
    produced = std::min<std::size_t>(header_.cbDstLengthUsed, output_.size());
    return true;
  }

 private:
  AcmStream stream_;
  WAVEFORMATEX pcm_;
  ACMSTREAMHEADER header_{};
  bool prepared_ = false;
  Bytes input_;
  Bytes output_;
};

bool AcmMp3Codec::prepare(const Mp3FrameHeader& format) {
  input_.assign(kInputBytes, 0);
  // Room for a few frames more than one call hands over (a strict codec may give two at once), or
  // what the codec asks for that input, if more.
  const std::size_t frame_pcm = static_cast<std::size_t>(format.samples) * pcm_.nBlockAlign;
  std::size_t size = (Mp3Decoder::kFramesPerConvert + 4) * frame_pcm;
  DWORD suggested = 0;
  const DWORD handed = static_cast<DWORD>((Mp3Decoder::kFramesPerConvert + 1) * format.length);
  if (acmStreamSize(stream_.get(), handed, &suggested, ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR &&
      suggested <= (1u << 20))
    size = std::max<std::size_t>(size, suggested);
  output_.assign(size, 0);
  header_.cbStruct = sizeof header_;
  header_.pbSrc = input_.data();
  header_.cbSrcLength = static_cast<DWORD>(input_.size());
  header_.pbDst = output_.data();
  header_.cbDstLength = static_cast<DWORD>(output_.size());
  prepared_ = acmStreamPrepareHeader(stream_.get(), &header_, 0) == MMSYSERR_NOERROR;
  return prepared_;
}

}  // namespace

std::unique_ptr<Mp3Codec> open_acm_codec(const Mp3FrameHeader& format) {
  if (format.channels < 1 || format.sample_rate <= 0 || format.bit_rate <= 0) return nullptr;
  MPEGLAYER3WAVEFORMAT mp3 = mp3_format(format);
  const HACMDRIVER driver = mp3_driver().get();
  WAVEFORMATEX pcm = pcm_format_for(driver, mp3);
  HACMSTREAM stream = nullptr;
  if (!driver || acmStreamOpen(&stream, driver, &mp3.wfx, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
    // The first song, or one the kept driver refuses: any installed codec may take it.
    if (driver) pcm = pcm_format_for(nullptr, mp3);
    if (acmStreamOpen(&stream, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) return nullptr;
    mp3_driver().remember_driver_of(stream);
  }
  auto codec = std::make_unique<AcmMp3Codec>(AcmStream(stream), pcm);
  if (!codec->prepare(format)) return nullptr;
  return codec;
}

}  // namespace qiwa
