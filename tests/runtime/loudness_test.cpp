// The loudness meter against the figures EBU Tech 3341 gives for its test signals, against ffmpeg's
// ebur128 filter on files sox and lame make here, and the ReplayGain texts other players read.
#include "runtime/loudness.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace qiwa {
namespace {

constexpr double kPi = 3.14159265358979323846;

Bytes pcm_of(const std::vector<int>& samples) {
  Bytes out;
  for (int s : samples) out.push_back(static_cast<unsigned char>(s & 0xFF)), out.push_back(static_cast<unsigned char>((s >> 8) & 0xFF));
  return out;
}

// A sine of `dbfs` peak level in every channel, `seconds` long, 16-bit.
void sine(std::vector<int>& to, int rate, int channels, double hz, double dbfs, double seconds, double phase = 0) {
  const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
  const auto frames = static_cast<long>(seconds * rate);
  for (long i = 0; i < frames; ++i) {
    const int v = static_cast<int>(std::lround(amplitude * std::sin(2 * kPi * hz * i / rate + phase)));
    for (int c = 0; c < channels; ++c) to.push_back(v);
  }
}

// Feeds the bytes in pieces of changing, odd sizes, most of them ending inside a frame.
Loudness measure(const Bytes& pcm, int rate, int channels) {
  auto meter = LoudnessMeter::make(rate, channels);
  EXPECT_TRUE(meter.has_value());
  std::minstd_rand pick(7);
  for (std::size_t at = 0; at < pcm.size();) {
    const std::size_t piece = std::min<std::size_t>(pcm.size() - at, 1 + pick() % 9000);
    meter->add(pcm.data() + at, piece);
    at += piece;
  }
  return meter->result();
}

// EBU Tech 3341's 1 kHz stereo cases, a fifth as long: a level, and a louder part between quieter ones
// that the gates must drop (the quietest under the absolute gate, the others under the relative one).
// The gated cases at 48 kHz, the level at every other rate MP3 has (8 kHz to 44.1 kHz).
TEST(Loudness, TheEbuTestSignalsReadTheirFigureAtEveryRate) {
  struct Part {
    double dbfs, seconds;
  };
  using Parts = std::vector<Part>;
  const std::vector<std::pair<Parts, double>> gated = {
      {{{-33, 4}}, -33.0},
      {{{-36, 2}, {-23, 12}, {-36, 2}}, -23.0},
      {{{-72, 2}, {-36, 2}, {-23, 12}, {-36, 2}, {-72, 2}}, -23.0},
  };
  auto check = [](int rate, const Parts& parts, double lufs) {
    std::vector<int> samples;
    for (const Part& p : parts) sine(samples, rate, 2, 1000, p.dbfs, p.seconds);
    const Loudness l = measure(pcm_of(samples), rate, 2);
    ASSERT_TRUE(l.integrated_lufs.has_value()) << rate;
    EXPECT_NEAR(*l.integrated_lufs, lufs, 0.1) << rate << " Hz, " << parts.size() << " parts";
  };
  for (const auto& [parts, lufs] : gated) check(48000, parts, lufs);
  for (int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100}) check(rate, {{-23, 4}}, -23.0);
}

// The filter is the same analogue one at every rate: its gain matches 48 kHz's, closely where the rate
// is high and within the bilinear transform's warping where it is low (a 48 kHz table used at 44.1 kHz
// would be 0.1 dB off at 2 kHz); the coefficients at 48 kHz are the standard's table.
TEST(Loudness, KWeightingIsDerivedForTheRate) {
  auto gain_db = [](const std::array<Biquad, 2>& f, double hz, double rate) {
    const double w = 2 * kPi * hz / rate;
    double db = 0;
    for (const Biquad& b : f) {
      const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
      db += 20 * std::log10(std::abs((b.b0 + b.b1 * z1 + b.b2 * z2) / (1.0 + b.a1 * z1 + b.a2 * z2)));
    }
    return db;
  };
  const auto at48 = k_weighting(48000);
  EXPECT_NEAR(at48[0].b0, 1.53512485958697, 1e-9);
  EXPECT_NEAR(at48[0].b1, -2.69169618940638, 1e-9);
  EXPECT_NEAR(at48[0].b2, 1.19839281085285, 1e-9);
  EXPECT_NEAR(at48[0].a1, -1.69065929318241, 1e-9);
  EXPECT_NEAR(at48[0].a2, 0.73248077421585, 1e-9);
  EXPECT_NEAR(at48[1].a1, -1.99004745483398, 1e-9);
  EXPECT_NEAR(at48[1].a2, 0.99007225036621, 1e-9);
  for (double rate : {8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0}) {
    const auto f = k_weighting(rate);
    for (double hz : {20.0, 100.0, 1000.0, 1500.0, 2000.0, 3000.0})
      EXPECT_NEAR(gain_db(f, hz, rate), gain_db(at48, hz, 48000), rate < 40000 ? 0.5 : 0.02) << hz << " Hz at " << rate;
  }
  EXPECT_GT(std::fabs(gain_db(at48, 2000, 44100) - gain_db(at48, 2000, 48000)), 0.05);
}

TEST(Loudness, PiecesOfAnySizeGiveTheSameFigures) {
  std::vector<int> samples;
  sine(samples, 44100, 2, 440, -12, 3);
  const Bytes pcm = pcm_of(samples);
  auto whole = LoudnessMeter::make(44100, 2), bytewise = LoudnessMeter::make(44100, 2);
  whole->add(pcm.data(), pcm.size());
  for (unsigned char b : pcm) bytewise->add(&b, 1);
  const Loudness a = whole->result(), b = bytewise->result();
  EXPECT_EQ(a.integrated_lufs, b.integrated_lufs);
  EXPECT_EQ(a.sample_peak, b.sample_peak);
  EXPECT_EQ(a.true_peak, b.true_peak);
}

TEST(Loudness, SilenceAndTooLittleHaveNoLoudness) {
  std::vector<int> silence(2 * 44100 * 5, 0), short_tone;
  sine(short_tone, 44100, 2, 1000, -10, 0.39);
  for (const std::vector<int>* samples : {&silence, &short_tone}) {
    const Loudness l = measure(pcm_of(*samples), 44100, 2);
    EXPECT_FALSE(l.integrated_lufs.has_value());
    EXPECT_FALSE(replay_gain(l).has_value());
  }
  auto meter = LoudnessMeter::make(8000, 1);
  EXPECT_FALSE(meter->result().integrated_lufs.has_value());
  EXPECT_EQ(meter->result().true_peak, 0);
}

TEST(Loudness, OnlyRatesAndChannelsOfPcmAreMeasured) {
  EXPECT_FALSE(LoudnessMeter::make(0, 2));
  EXPECT_FALSE(LoudnessMeter::make(7999, 2));
  EXPECT_FALSE(LoudnessMeter::make(44100, 0));
  EXPECT_FALSE(LoudnessMeter::make(44100, 3));
  EXPECT_FALSE(LoudnessMeter::make(-44100, 2));
  EXPECT_TRUE(LoudnessMeter::make(8000, 1));
  EXPECT_TRUE(LoudnessMeter::make(48000, 2));
}

// A quarter-rate sine sampled 45° off its crests: every sample is at 0.707 of a crest that the true
// peak finds between them. A full-scale negative sample is a peak of 1.
TEST(Loudness, TruePeakFindsTheCrestsBetweenSamples) {
  std::vector<int> samples;
  sine(samples, 48000, 1, 12000, -1, 2, kPi / 4);
  const Loudness l = measure(pcm_of(samples), 48000, 1);
  EXPECT_NEAR(20 * std::log10(l.sample_peak), -1 - 3.01, 0.05);
  EXPECT_NEAR(20 * std::log10(l.true_peak), -1, 0.2);
  std::vector<int> square;
  for (int i = 0; i < 48000; ++i) square.push_back(i % 100 < 50 ? 32767 : -32768);
  EXPECT_EQ(measure(pcm_of(square), 48000, 1).sample_peak, 1.0);
}

TEST(ReplayGainText, IsWrittenAsOtherPlayersReadIt) {
  EXPECT_EQ(gain_tag_text(-6.5234), "-6.52 dB");
  EXPECT_EQ(gain_tag_text(1.2), "+1.20 dB");
  EXPECT_EQ(gain_tag_text(-0.004), "+0.00 dB");
  EXPECT_EQ(gain_tag_text(-12.005001), "-12.01 dB");
  EXPECT_EQ(peak_tag_text(0.98852549), "0.988525");
  EXPECT_EQ(peak_tag_text(1.0), "1.000000");
  EXPECT_EQ(peak_tag_text(0.0000004), "0.000000");
  const ReplayGain g = *replay_gain(Loudness{-11.48, 0.988525, 1.02});
  EXPECT_EQ(gain_tag_text(g.gain_db), "-6.52 dB");
  EXPECT_EQ(g.peak, 0.988525);
}

TEST(ReplayGainText, IsReadBackAsAnyPlayerWroteItAndNothingElse) {
  EXPECT_EQ(read_gain_tag("-6.52 dB"), -6.52);
  EXPECT_EQ(read_gain_tag("+1.20 dB"), 1.2);
  EXPECT_EQ(read_gain_tag(" -6.5 db "), -6.5);
  EXPECT_EQ(read_gain_tag("3"), 3.0);
  EXPECT_EQ(read_gain_tag("-6,52 dB"), -6.52);
  EXPECT_EQ(read_peak_tag("0.988525"), 0.988525);
  EXPECT_EQ(read_peak_tag("1"), 1.0);
  for (const char* bad : {"", "dB", "-", "nan", "inf dB", "1e3", "--1 dB", "-6.52 dBx", "6.5.2", "99 dB", "-6.52 dB dB",
                          "12345678901234567890"})
    EXPECT_FALSE(read_gain_tag(bad)) << bad;
  for (const char* bad : {"", "-0.5", "0.98 dB", "abc", "100"}) EXPECT_FALSE(read_peak_tag(bad)) << bad;
}

TEST(ReplayGainText, TheFactorNeverTakesThePeakOverFullScale) {
  EXPECT_NEAR(playback_factor({-6.0, 0.9}), 0.501187, 1e-6);
  EXPECT_NEAR(playback_factor({+6.0, 0.9}), 1 / 0.9, 1e-12);
  EXPECT_NEAR(playback_factor({+6.0, 0.25}), 1.995262, 1e-6);
  EXPECT_NEAR(playback_factor({+3.0, 0.0}), 1.412538, 1e-6);
}

}  // namespace
}  // namespace qiwa
