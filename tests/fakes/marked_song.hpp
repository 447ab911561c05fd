#pragma once
// Songs for the strict codec (fakes/strict_mp3_codec.hpp), which sounds a frame as its marker byte:
// MPEG-1 Layer III frames at 128 kbit/s, 44.1 kHz (417 bytes, 1152 samples), every byte after the
// header the frame's marker; and the Info frame LAME writes in front, with its tag's delay and padding.
#include <cstdint>
#include <optional>

#include "runtime/mp3_frames.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

inline constexpr std::size_t kMarkedFrameBytes = 417;
inline constexpr int kMarkedFrameSamples = 1152;

// Markers are 1..200, so never a sync byte.
inline Bytes marked_frame(unsigned char marker, bool mono = false) {
  Bytes f(kMarkedFrameBytes, marker);
  f[0] = 0xFF;
  f[1] = 0xFB;
  f[2] = 0x90;
  f[3] = mono ? 0xC0 : 0x00;
  return f;
}

inline void append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

// Frames marked first, first + 1, ...
inline Bytes marked_frames(int count, int first = 1, bool mono = false) {
  Bytes out;
  for (int i = 0; i < count; ++i) append(out, marked_frame(static_cast<unsigned char>(first + i), mono));
  return out;
}

// An Info frame (Xing, when `vbr`) counting `frames`, with a LAME tag when `gapless` is given; `crc_ok`
// false spoils the tag's checksum.
inline Bytes summary_frame(std::uint32_t frames, std::optional<Mp3Gapless> gapless, bool vbr = false,
                           bool crc_ok = true, bool mono = false) {
  Bytes f = marked_frame(0, mono);
  const std::size_t xing = mono ? 4 + 17 : 4 + 32;
  for (std::size_t i = 4; i < f.size(); ++i) f[i] = 0;
  const char* id = vbr ? "Xing" : "Info";
  for (int i = 0; i < 4; ++i) f[xing + static_cast<std::size_t>(i)] = static_cast<unsigned char>(id[i]);
  f[xing + 7] = 0x0F;  // frames, bytes, seek table and quality follow
  for (int i = 0; i < 4; ++i) f[xing + 8 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(frames >> (24 - 8 * i));
  if (!gapless) return f;
  const std::size_t tag = xing + 120;
  const char* version = "LAME3.100";
  for (int i = 0; i < 9; ++i) f[tag + static_cast<std::size_t>(i)] = static_cast<unsigned char>(version[i]);
  f[tag + 21] = static_cast<unsigned char>(gapless->delay >> 4);
  f[tag + 22] = static_cast<unsigned char>((gapless->delay & 0x0F) << 4 | gapless->padding >> 8);
  f[tag + 23] = static_cast<unsigned char>(gapless->padding & 0xFF);
  std::uint16_t crc = 0;  // CRC-16, polynomial 0x8005 reflected, of the frame up to the checksum
  for (std::size_t i = 0; i < tag + 34; ++i) {
    crc ^= f[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
  }
  if (!crc_ok) crc ^= 0x0100;
  f[tag + 34] = static_cast<unsigned char>(crc >> 8);
  f[tag + 35] = static_cast<unsigned char>(crc & 0xFF);
  return f;
}

// A LAME-encoded song: its Info frame (delay and padding as given) and `count` marked frames.
inline Bytes lame_song(int count, int first, int delay, int padding, bool mono = false) {
  Bytes out = summary_frame(static_cast<std::uint32_t>(count), Mp3Gapless{delay, padding}, false, true, mono);
  append(out, marked_frames(count, first, mono));
  return out;
}

// The marker of each sample of 16-bit PCM (both bytes of a sample carry it), run-length counted:
// {marker, samples} in order.
inline std::vector<std::pair<int, std::size_t>> marker_runs(const Bytes& pcm, int block_align) {
  std::vector<std::pair<int, std::size_t>> runs;
  for (std::size_t at = 0; at + static_cast<std::size_t>(block_align) <= pcm.size(); at += static_cast<std::size_t>(block_align)) {
    if (!runs.empty() && runs.back().first == pcm[at])
      ++runs.back().second;
    else
      runs.push_back({pcm[at], 1});
  }
  return runs;
}

}  // namespace qiwa::fakes
