#include "runtime/loudness.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullScale = 32768.0;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -10.0;
constexpr double kLoudnessOffset = -0.691;  // BS.1770: makes a 1 kHz sine at 0 dBFS read -3.01 LUFS
constexpr double kBinsPerLu = 100.0;
constexpr int kBins = 8000;  // -70 to +10 LUFS; a block louder than that (none of 16-bit PCM) goes last
constexpr double kTiny = 1e-20;  // filter state under this is let go to zero, before it turns denormal

double lufs_of(double mean_square) { return kLoudnessOffset + 10.0 * std::log10(mean_square); }

// The analogue shelf behind BS.1770's first stage: +4 dB above about 1.7 kHz.
Biquad high_shelf(double rate) {
  constexpr double f0 = 1681.974450955533, gain_db = 3.999843853973347, q = 0.7071752369554196;
  const double k = std::tan(kPi * f0 / rate);
  const double vh = std::pow(10.0, gain_db / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416);
  const double a0 = 1.0 + k / q + k * k;
  return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
          2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

// The second stage: a high pass at about 38 Hz, its numerator left unscaled as in the standard's table.
Biquad high_pass(double rate) {
  constexpr double f0 = 38.13547087602444, q = 0.5003270373238773;
  const double k = std::tan(kPi * f0 / rate);
  const double a0 = 1.0 + k / q + k * k;
  return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

// The first frame of sub-block `index` (100 ms each, rounded down where a tenth of the rate is no whole
// number of frames, as at 11025 Hz).
std::int64_t subblock_start(std::int64_t index, int rate) { return index * rate / 10; }

double run_section(const Biquad& f, double (&z)[2], double x) {
  const double y = f.b0 * x + z[0];
  z[0] = f.b1 * x - f.a1 * y + z[1];
  z[1] = f.b2 * x - f.a2 * y;
  return y;
}

// The largest |value| interpolated between the middle two of kTaps samples (oldest first).
double peak_between(const double (&taps)[LoudnessMeter::kPhases - 1][LoudnessMeter::kTaps], const double* window) {
  double most = 0;
  for (const auto& phase : taps) {
    double v = 0;
    for (int k = 0; k < LoudnessMeter::kTaps; ++k) v += phase[k] * window[k];
    most = std::max(most, std::fabs(v));
  }
  return most;
}

}  // namespace

std::array<Biquad, 2> k_weighting(double sample_rate) { return {high_shelf(sample_rate), high_pass(sample_rate)}; }

std::optional<LoudnessMeter> LoudnessMeter::make(int sample_rate, int channels) {
  if (sample_rate < kMinRate || sample_rate > kMaxRate || channels < 1 || channels > 2) return std::nullopt;
  return LoudnessMeter(sample_rate, channels);
}

// The interpolation filter: a windowed sinc for each of the three phases between two samples, each
// scaled to pass a constant unchanged.
LoudnessMeter::LoudnessMeter(int sample_rate, int channels)
    : rate_(sample_rate),
      channels_(channels),
      filter_(k_weighting(sample_rate)),
      left_in_sub_(subblock_start(1, sample_rate)),
      bin_count_(kBins),
      bin_energy_(kBins) {
  constexpr double half_width = kTaps / 2 + 0.5;
  for (int p = 1; p < kPhases; ++p) {
    double sum = 0;
    for (int k = 0; k < kTaps; ++k) {
      const double d = k - (kTaps / 2 - 1) - static_cast<double>(p) / kPhases;  // from the point wanted
      const double sinc = std::sin(kPi * d) / (kPi * d);
      const double window = 0.5 + 0.5 * std::cos(kPi * d / half_width);
      sum += phase_taps_[p - 1][k] = sinc * window;
    }
    for (double& w : phase_taps_[p - 1]) w /= sum;
  }
}

void LoudnessMeter::add(const unsigned char* pcm, std::size_t bytes) {
  const std::size_t frame = 2 * static_cast<std::size_t>(channels_);
  if (carried_ > 0) {
    const std::size_t take = std::min(frame - carried_, bytes);
    std::memcpy(carry_ + carried_, pcm, take);
    carried_ += take;
    pcm += take;
    bytes -= take;
    if (carried_ < frame) return;
    carried_ = 0;
    channels_ == 1 ? add_frames<1>(carry_, 1) : add_frames<2>(carry_, 1);
  }
  const std::size_t frames = bytes / frame;
  channels_ == 1 ? add_frames<1>(pcm, frames) : add_frames<2>(pcm, frames);
  carried_ = bytes - frames * frame;
  std::memcpy(carry_, pcm + frames * frame, carried_);
}

// The hot loop: the state is copied into locals first, since the PCM bytes could alias any member.
template <int kChannels>
void LoudnessMeter::add_frames(const unsigned char* pcm, std::size_t frames) {
  const std::array<Biquad, 2> f = filter_;
  std::array<Channel, kChannels> ch;
  std::copy_n(channel_.begin(), kChannels, ch.begin());
  int pos = history_pos_;
  double energy = sub_energy_;  // added to in the samples' order, however the pieces fall
  while (frames > 0) {
    const std::size_t run = std::min<std::size_t>(frames, static_cast<std::size_t>(left_in_sub_));
    for (std::size_t i = 0; i < run; ++i, pcm += 2 * kChannels) {
      for (int c = 0; c < kChannels; ++c) {
        const int v = static_cast<std::int16_t>(pcm[2 * c] | pcm[2 * c + 1] << 8);
        Channel& s = ch[c];
        s.peak = std::max(s.peak, v < 0 ? -v : v);
        const double x = v / kFullScale;
        s.history[pos] = s.history[pos + kTaps] = x;
        s.interpolated = std::max(s.interpolated, peak_between(phase_taps_, s.history + pos + 1));
        const double y = run_section(f[1], s.z[1], run_section(f[0], s.z[0], x));
        energy += y * y;
      }
      pos = pos + 1 == kTaps ? 0 : pos + 1;
    }
    frames -= run;
    left_in_sub_ -= static_cast<std::int64_t>(run);
    if (left_in_sub_ == 0) {
      std::copy_n(ch.begin(), kChannels, channel_.begin());
      sub_energy_ = energy;
      close_subblock();
      std::copy_n(channel_.begin(), kChannels, ch.begin());
      energy = 0;
    }
  }
  std::copy_n(ch.begin(), kChannels, channel_.begin());
  history_pos_ = pos;
  sub_energy_ = energy;
}

// A 100 ms sub-block is whole: the 400 ms block that ends with it goes into the histogram when it
// passes the absolute gate.
void LoudnessMeter::close_subblock() {
  const std::size_t slot = static_cast<std::size_t>(subblock_ % 4);
  energy_[slot] = sub_energy_;
  frames_[slot] = subblock_start(subblock_ + 1, rate_) - subblock_start(subblock_, rate_);
  ++subblock_;
  sub_energy_ = 0;
  left_in_sub_ = subblock_start(subblock_ + 1, rate_) - subblock_start(subblock_, rate_);
  flush_tiny_state();
  if (subblock_ < 4) return;
  double energy = 0;
  std::int64_t frames = 0;
  for (std::size_t i = 0; i < 4; ++i) energy += energy_[i], frames += frames_[i];
  const double mean_square = energy / static_cast<double>(frames);
  if (mean_square <= 0) return;
  const double lufs = lufs_of(mean_square);
  if (lufs <= kAbsoluteGateLufs) return;
  const int bin = std::min(kBins - 1, static_cast<int>((lufs - kAbsoluteGateLufs) * kBinsPerLu));
  ++bin_count_[static_cast<std::size_t>(bin)];
  bin_energy_[static_cast<std::size_t>(bin)] += mean_square;
}

void LoudnessMeter::flush_tiny_state() {
  for (Channel& c : channel_)
    for (auto& section : c.z)
      for (double& z : section)
        if (std::fabs(z) < kTiny) z = 0;
}

Loudness LoudnessMeter::result() const {
  Loudness out;
  std::uint64_t count = 0;
  double energy = 0;
  for (int i = 0; i < kBins; ++i) count += bin_count_[static_cast<std::size_t>(i)], energy += bin_energy_[static_cast<std::size_t>(i)];
  if (count > 0) {
    // Bins whose middle lies over the relative gate; only the one it falls in is judged as a whole.
    const double gate = lufs_of(energy / static_cast<double>(count)) + kRelativeGateLu;
    const int first = std::max(0, static_cast<int>(std::floor((gate - kAbsoluteGateLufs) * kBinsPerLu - 0.5)) + 1);
    std::uint64_t gated_count = 0;
    double gated_energy = 0;
    for (int i = first; i < kBins; ++i)
      gated_count += bin_count_[static_cast<std::size_t>(i)], gated_energy += bin_energy_[static_cast<std::size_t>(i)];
    if (gated_count > 0) out.integrated_lufs = lufs_of(gated_energy / static_cast<double>(gated_count));
  }
  // The values between the last few samples need the silence after them.
  for (int c = 0; c < channels_; ++c) {
    Channel s = channel_[static_cast<std::size_t>(c)];
    int pos = history_pos_;
    for (int i = 0; i < kTaps / 2; ++i, pos = (pos + 1) % kTaps) {
      s.history[pos] = s.history[pos + kTaps] = 0;
      s.interpolated = std::max(s.interpolated, peak_between(phase_taps_, s.history + pos + 1));
    }
    out.sample_peak = std::max(out.sample_peak, s.peak / kFullScale);
    out.true_peak = std::max({out.true_peak, out.sample_peak, s.interpolated});
  }
  return out;
}

std::optional<ReplayGain> replay_gain(const Loudness& loudness) {
  if (!loudness.integrated_lufs) return std::nullopt;
  return ReplayGain{kReplayGainReferenceLufs - *loudness.integrated_lufs, loudness.sample_peak};
}

// Written with whole numbers, so that no locale can make the point a comma.
Text gain_tag_text(double gain_db) {
  const long hundredths = std::lround(gain_db * 100.0);
  const long magnitude = hundredths < 0 ? -hundredths : hundredths;
  return (hundredths < 0 ? "-" : "+") + to_text(magnitude / 100) + "." + to_text(magnitude % 100, 2) + " dB";
}

Text peak_tag_text(double peak) {
  const long millionths = std::lround(std::max(0.0, peak) * 1e6);
  return to_text(millionths / 1000000) + "." + to_text(millionths % 1000000, 6);
}

namespace {

void skip_spaces(std::string_view& s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// A signed decimal number at the start of s ("-6.52", "+3", ".5", "0,98"), taken off it. Its digits are
// one whole number divided once by a power of ten, both exact: the nearest double, as the text was
// written (for up to 15 digits).
std::optional<double> take_decimal(std::string_view& s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) negative = s.front() == '-', s.remove_prefix(1);
  std::uint64_t whole = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; !s.empty(); s.remove_prefix(1)) {
    const char c = s.front();
    if (c >= '0' && c <= '9') {
      if (++digits > 18) return std::nullopt;
      whole = whole * 10 + static_cast<unsigned>(c - '0');
      decimals += point ? 1 : 0;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  double scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double value = static_cast<double>(whole) / scale;
  return negative ? -value : value;
}

bool is_db(std::string_view s) { return s.size() == 2 && (s[0] == 'd' || s[0] == 'D') && (s[1] == 'b' || s[1] == 'B'); }

}  // namespace

std::optional<double> read_gain_tag(std::string_view text) {
  skip_spaces(text);
  const std::optional<double> value = take_decimal(text);
  skip_spaces(text);
  if (is_db(text.substr(0, 2))) text.remove_prefix(2);
  skip_spaces(text);
  if (!value || !text.empty() || std::fabs(*value) > 64) return std::nullopt;
  return value;
}

std::optional<double> read_peak_tag(std::string_view text) {
  skip_spaces(text);
  const std::optional<double> value = take_decimal(text);
  skip_spaces(text);
  if (!value || !text.empty() || *value < 0 || *value > 64) return std::nullopt;
  return value;
}

double playback_factor(const ReplayGain& gain) {
  const double factor = std::pow(10.0, gain.gain_db / 20.0);
  return gain.peak > 0 && factor * gain.peak > 1.0 ? 1.0 / gain.peak : factor;
}

}  // namespace qiwa
