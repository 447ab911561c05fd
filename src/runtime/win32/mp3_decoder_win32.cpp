// MP3 to PCM through the Audio Compression Manager. The codec is fed whole frames a few at a time;
// whatever it leaves of its input is kept for the next call, so any codec block size works.
#include "runtime/win32/mp3_decoder_win32.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

constexpr std::size_t kMaxFrame = 2048;         // a Layer III frame is at most 1441 bytes
constexpr std::size_t kSourceCapacity = 16384;  // bytes of frames handed to the codec at once
constexpr int kFramesPerConvert = 8;
constexpr LONGLONG kMaxSongBytes = 256LL << 20;  // more is no song we downloaded
constexpr std::size_t kNpos = std::size_t(-1);

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

// 16-bit PCM of the song's rate and channels, as the codec suggests it (or made up if it will not say).
WAVEFORMATEX pcm_format_for(const MPEGLAYER3WAVEFORMAT& mp3) {
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  MMRESULT r = acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(&mp3.wfx), &pcm, sizeof pcm,
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

}  // namespace

std::optional<Mp3Frames> Mp3Frames::from(Bytes data) {
  std::optional<Mp3Stream> stream = probe_mp3(data);
  if (!stream) return std::nullopt;
  return Mp3Frames(std::move(data), stream->first_audio, stream->header);
}

bool Mp3Frames::next(const unsigned char*& frame, std::size_t& length) {
  const unsigned char* data = data_.data();
  const std::size_t size = data_.size();
  while (pos_ < size) {
    std::size_t at = next_frame(data, size, pos_, &format_);
    if (at == kNpos) break;
    std::optional<Mp3FrameHeader> h = parse_frame_header(data + at, size - at);
    if (!h || h->length == 0 || h->length > size - at) break;  // next_frame promises a whole frame
    pos_ = at + h->length;
    if (!same_format(*h, format_)) continue;  // the codec was opened for the first frame's format
    frame = data + at;
    length = h->length;
    return true;
  }
  pos_ = size;
  return false;
}

std::optional<Bytes> read_song_file(std::string_view song_path) {
  if (song_path.empty() || song_path.find('\0') != std::string_view::npos) return std::nullopt;
  std::wstring path = wide(song_path);
  // Others may write or delete the file meanwhile; we keep no handle past this function.
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > kMaxSongBytes)
    return std::nullopt;
  Bytes data(static_cast<std::size_t>(size.QuadPart));
  std::size_t got = 0;
  while (got < data.size()) {
    DWORD n = 0;
    if (!ReadFile(file.get(), data.data() + got, static_cast<DWORD>(data.size() - got), &n, nullptr)) {
      return std::nullopt;
    }
    if (n == 0) break;  // shorter than it was a moment ago
    got += n;
  }
  data.resize(got);
  return data;
}

std::unique_ptr<Mp3Decoder> Mp3Decoder::open(const Mp3FrameHeader& format) {
  if (format.channels < 1 || format.sample_rate <= 0 || format.bit_rate <= 0) return nullptr;
  MPEGLAYER3WAVEFORMAT mp3 = mp3_format(format);
  std::unique_ptr<Mp3Decoder> d(new Mp3Decoder);
  d->pcm_ = pcm_format_for(mp3);
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, &mp3.wfx, &d->pcm_, nullptr, 0, 0, 0) != MMSYSERR_NOERROR)
    return nullptr;
  d->stream_.reset(stream);
  if (!d->prepare(format)) return nullptr;
  return d;
}

bool Mp3Decoder::prepare(const Mp3FrameHeader& format) {
  source_.assign(kSourceCapacity, 0);
  // Room for what the codec makes of a full source buffer, and for a generous run of frames besides.
  DWORD pcm_size = static_cast<DWORD>((4 * kFramesPerConvert) * format.samples * pcm_.nBlockAlign);
  DWORD suggested = 0;
  if (acmStreamSize(stream_.get(), static_cast<DWORD>(kSourceCapacity), &suggested, ACM_STREAMSIZEF_SOURCE) ==
          MMSYSERR_NOERROR &&
      suggested <= (4u << 20))
    pcm_size = std::max(pcm_size, suggested);
  pcm_buffer_.assign(pcm_size, 0);
  header_ = ACMSTREAMHEADER{};
  header_.cbStruct = sizeof header_;
  header_.pbSrc = source_.data();
  header_.cbSrcLength = static_cast<DWORD>(source_.size());
  header_.pbDst = pcm_buffer_.data();
  header_.cbDstLength = static_cast<DWORD>(pcm_buffer_.size());
  prepared_ = acmStreamPrepareHeader(stream_.get(), &header_, 0) == MMSYSERR_NOERROR;
  return prepared_;
}

Mp3Decoder::~Mp3Decoder() {
  if (!prepared_) return;
  // The header goes back to its prepared lengths before it is unprepared.
  header_.cbSrcLength = static_cast<DWORD>(source_.size());
  header_.cbDstLength = static_cast<DWORD>(pcm_buffer_.size());
  acmStreamUnprepareHeader(stream_.get(), &header_, 0);
}

void Mp3Decoder::restart() {
  source_used_ = 0;
  pcm_begin_ = pcm_end_ = 0;
  frames_done_ = flushed_ = false;
  starting_ = true;
}

// Appends frames to the codec's input: a few at a time, and at least one codec block when there is room.
void Mp3Decoder::top_up(Mp3Frames& frames) {
  const std::size_t block = std::max<std::size_t>(frames.format().length, 1);
  for (int added = 0; !frames_done_ && source_used_ + kMaxFrame <= source_.size();) {
    if (added >= kFramesPerConvert && source_used_ >= block) break;
    const unsigned char* frame = nullptr;
    std::size_t length = 0;
    if (!frames.next(frame, length) || length > kMaxFrame) {
      frames_done_ = true;
      break;
    }
    std::memcpy(source_.data() + source_used_, frame, length);
    source_used_ += length;
    ++added;
  }
}

// One call into the codec with what the source buffer holds; false when the codec failed or took and
// gave nothing.
bool Mp3Decoder::convert() {
  DWORD flags = frames_done_ ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
  if (starting_) flags |= ACM_STREAMCONVERTF_START;
  header_.cbSrcLength = static_cast<DWORD>(source_used_);
  header_.cbDstLength = static_cast<DWORD>(pcm_buffer_.size());
  header_.cbSrcLengthUsed = header_.cbDstLengthUsed = 0;
  if (acmStreamConvert(stream_.get(), &header_, flags) != MMSYSERR_NOERROR) return false;
  starting_ = false;
  std::size_t consumed = std::min<std::size_t>(header_.cbSrcLengthUsed, source_used_);
  std::size_t produced = std::min<std::size_t>(header_.cbDstLengthUsed, pcm_buffer_.size());
  std::memmove(source_.data(), source_.data() + consumed, source_used_ - consumed);
  source_used_ -= consumed;
  pcm_begin_ = 0;
  pcm_end_ = produced;
  return consumed > 0 || produced > 0;
}

std::size_t Mp3Decoder::read(Mp3Frames& frames, unsigned char* out, std::size_t size) {
  std::size_t n = 0;
  while (n < size) {
    if (pcm_begin_ < pcm_end_) {
      std::size_t take = std::min(size - n, pcm_end_ - pcm_begin_);
      std::memcpy(out + n, pcm_buffer_.data() + pcm_begin_, take);
      pcm_begin_ += take;
      n += take;
      continue;
    }
    if (flushed_) break;
    top_up(frames);
    if (convert()) continue;
    // Nothing moved: the end of the pass once the codec has given out its tail, else a codec that
    // refuses the data, which ends the song as well.
    if (frames_done_ && source_used_ > 0) {
      source_used_ = 0;  // less than the codec takes at once: drop it and flush
      continue;
    }
    flushed_ = true;
  }
  return n;
}

}  // namespace qiwa
