#pragma once
// A song's loudness as EBU R128 / ITU-R BS.1770-4 measures it, fed its 16-bit PCM a piece at a time
// while it is decoded, and the ReplayGain 2.0 figures other players read from a song's tag.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/types.hpp"

namespace qiwa {

struct Loudness {
  std::optional<double> integrated_lufs;  // none when no 400 ms block passes the gates (silence, < 0.4 s)
  double sample_peak = 0;                 // the largest |sample|, full scale 1.0
  double true_peak = 0;                   // the same of the signal oversampled 4 times (≥ sample_peak)
};

// One second-order section, transposed direct form II; a0 is 1.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// BS.1770's K-weighting (a high shelf, then a high pass) for this sample rate, made by the bilinear
// transform of the analogue filters behind the standard's 48 kHz table.
std::array<Biquad, 2> k_weighting(double sample_rate);

// Integrated loudness (400 ms blocks every 100 ms, gates at -70 LUFS and 10 LU under the gated mean),
// sample peak and true peak. Memory stays the same whatever the song's length: the blocks go into a
// histogram of 0.01 LU steps that keeps their energy.
class LoudnessMeter {
 public:
  static constexpr int kMinRate = 8000;
  static constexpr int kMaxRate = 192000;

  // A meter for PCM of this rate and 1 or 2 channels; none for anything else.
  static std::optional<LoudnessMeter> make(int sample_rate, int channels);

  // More of the song: 16-bit little-endian samples, channels interleaved, in pieces of any size (one
  // may end inside a sample; the next goes on from there).
  void add(const unsigned char* pcm, std::size_t bytes);
  // The figures over everything added so far; the meter can go on after it.
  Loudness result() const;

  static constexpr int kPhases = 4;  // true peak: 4 times oversampling
  static constexpr int kTaps = 12;   // input samples behind each interpolated one

 private:
  LoudnessMeter(int sample_rate, int channels);

  struct Channel {
    double z[2][2] = {};                 // the two sections' state
    double history[2 * kTaps] = {};     // the last kTaps samples, written twice so they read in a row
    int peak = 0;                        // the largest |sample|, in sample units
    double interpolated = 0;            // the largest |interpolated value|, full scale 1.0
  };

  template <int kChannels>
  void add_frames(const unsigned char* pcm, std::size_t frames);
  void close_subblock();
  void flush_tiny_state();

  int rate_;
  int channels_;
  std::array<Biquad, 2> filter_;
  double phase_taps_[kPhases - 1][kTaps] = {};  // phases 1..3; phase 0 is the sample itself
  std::array<Channel, 2> channel_{};
  int history_pos_ = 0;

  std::int64_t subblock_ = 0;      // index of the 100 ms sub-block being filled
  std::int64_t left_in_sub_ = 0;   // frames it still lacks
  double sub_energy_ = 0;          // its weighted sum of squares so far
  std::array<double, 4> energy_{};  // the last four complete sub-blocks: sums of squares and frames
  std::array<std::int64_t, 4> frames_{};

  std::vector<std::uint32_t> bin_count_;  // blocks over the absolute gate, by loudness
  std::vector<double> bin_energy_;        // their mean squares added up

  unsigned char carry_[4] = {};  // the start of a frame a piece ended inside
  std::size_t carried_ = 0;
};

// ReplayGain 2.0: the track's gain to -18 LUFS and its sample peak.
struct ReplayGain {
  double gain_db = 0;
  double peak = 0;
};
inline constexpr double kReplayGainReferenceLufs = -18.0;
inline constexpr std::string_view kTrackGainTag = "REPLAYGAIN_TRACK_GAIN";  // TXXX descriptions
inline constexpr std::string_view kTrackPeakTag = "REPLAYGAIN_TRACK_PEAK";

// None when the loudness could not be measured (nothing but silence).
std::optional<ReplayGain> replay_gain(const Loudness& loudness);
// The tag's texts as other players write and read them: "-6.52 dB", "+1.20 dB"; "0.988525".
Text gain_tag_text(double gain_db);
Text peak_tag_text(double peak);
// The same texts read back, as any player may have written them ("-6.5 dB", "+3 dB", "-6.52", " 0.98 ");
// none for anything else or a figure no song has (beyond ±64 dB; a peak below 0 or above 64).
std::optional<double> read_gain_tag(std::string_view text);
std::optional<double> read_peak_tag(std::string_view text);
// The factor to multiply the samples by: the gain, lowered so that the peak times it stays ≤ 1.
double playback_factor(const ReplayGain& gain);

}  // namespace qiwa
