/* The bench's sound device: an ALSA playback device with a clock of its own. It takes samples at their
 * real rate, as a sound card does, writes each sample to the capture file at the moment it is heard and
 * keeps a side file of marks, "byte offset, CLOCK_MONOTONIC ns", one wherever the sound starts again
 * (the device started, resumed, or fed again after it ran dry), so that the time at which any sample was
 * heard is the time of the mark before it plus its distance at the rate. Samples written but dropped
 * before they were heard never reach the file. Both files start afresh when an opening of the device
 * first prepares to play.
 *
 *   pcm_type.qiwa_clock { lib "/path/libasound_module_pcm_qiwa_clock.so" }
 *   pcm.sink { type qiwa_clock file "/path/audio.raw" marks "/path/audio.raw.marks" rate 44100 channels 2 }
 *   pcm.!default { type plug slave.pcm "sink" }    (plug converts whatever the program plays)
 */
#define PIC /* a loadable plugin: its version symbol, not the static table */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
  snd_pcm_ioplug_t io;
  char *out_path, *marks_path;
  int out;         /* the capture file, opened at the first prepare: a program probing formats opens */
  FILE *marks;     /* and closes the device many times, and such openings leave the files alone */
  int timer;       /* poll descriptor: ticks once a period */
  unsigned rate, channels, frame_bytes;
  char *ring;      /* buffer_size frames: what was written and not yet heard */
  snd_pcm_uframes_t ring_frames, boundary;
  /* Frames since prepare: received, and heard (the hardware pointer). */
  uint64_t written, heard;
  /* The frame heard at anchor_ns; while the sound runs on, frame n is heard (n - anchor) / rate later. */
  uint64_t anchor_frame;
  int64_t anchor_ns;
  int running;
  uint64_t file_bytes;
} Sink;

/* Frames the clock runs through in `ns` (no 128-bit arithmetic: the 32-bit bench builds this too). */
static uint64_t frames_in(int64_t ns, unsigned rate) {
  return (uint64_t)(ns / 1000000000) * rate + (uint64_t)(ns % 1000000000) * rate / 1000000000;
}

static int64_t now_ns(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static void mark(Sink *s, int64_t at) {
  s->anchor_frame = s->heard;
  s->anchor_ns = at;
  if (s->marks) {
    fprintf(s->marks, "%llu %lld\n", (unsigned long long)s->file_bytes, (long long)at);
    fflush(s->marks);
  }
}

static void write_all(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t done = write(fd, p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return; /* a full disk loses sound, never blocks the program */
    p += done;
    n -= (size_t)done;
  }
}

static int open_files(Sink *s);

/* A capture deleted while the device stays open (a test starting afresh between two songs of one
 * opening) begins again as a new file, with a mark for the first frame it gets. */
static void follow_capture(Sink *s) {
  struct stat named, held;
  if (s->out >= 0 && stat(s->out_path, &named) == 0 && fstat(s->out, &held) == 0 && named.st_ino == held.st_ino)
    return;
  if (s->out >= 0) close(s->out);
  if (s->marks) fclose(s->marks);
  s->out = -1;
  s->marks = NULL;
  s->file_bytes = 0;
  if (open_files(s) < 0 || !s->marks) return;
  const int64_t heard_ns = s->anchor_ns + (int64_t)((s->heard - s->anchor_frame) * 1000000000ull / s->rate);
  fprintf(s->marks, "0 %lld\n", (long long)heard_ns);
  fflush(s->marks);
}

/* Hears every frame the clock has reached by `at`, up to what was written. */
static void advance(Sink *s, int64_t at) {
  if (!s->running || at <= s->anchor_ns) return;
  uint64_t due = s->anchor_frame + frames_in(at - s->anchor_ns, s->rate);
  uint64_t target = due < s->written ? due : s->written;
  if (s->heard < target) follow_capture(s);
  while (s->heard < target) {
    uint64_t at_ring = s->heard % s->ring_frames;
    uint64_t n = target - s->heard;
    if (n > s->ring_frames - at_ring) n = s->ring_frames - at_ring;
    write_all(s->out, s->ring + at_ring * s->frame_bytes, n * s->frame_bytes);
    s->heard += n;
    s->file_bytes += n * s->frame_bytes;
  }
}

/* True when the clock has gone past the last frame written: the device ran dry. */
static int starved(const Sink *s, int64_t at) {
  if (!s->running || s->heard < s->written) return 0;
  return s->anchor_frame + frames_in(at - s->anchor_ns, s->rate) > s->heard;
}

static int sink_start(snd_pcm_ioplug_t *io) {
  Sink *s = io->private_data;
  s->running = 1;
  mark(s, now_ns());
  return 0;
}

static int sink_stop(snd_pcm_ioplug_t *io) {
  Sink *s = io->private_data;
  advance(s, now_ns());
  s->running = 0;
  s->written = s->heard; /* what was not heard yet is dropped, as a card drops it */
  return 0;
}

static int sink_pause(snd_pcm_ioplug_t *io, int enable) {
  Sink *s = io->private_data;
  if (enable) {
    advance(s, now_ns());
    s->running = 0;
  } else {
    s->running = 1;
    mark(s, now_ns());
  }
  return 0;
}

static snd_pcm_sframes_t sink_pointer(snd_pcm_ioplug_t *io) {
  Sink *s = io->private_data;
  advance(s, now_ns());
  return (snd_pcm_sframes_t)(s->heard % s->boundary);
}

static snd_pcm_sframes_t sink_transfer(snd_pcm_ioplug_t *io, const snd_pcm_channel_area_t *areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  Sink *s = io->private_data;
  const int64_t at = now_ns();
  advance(s, at);
  if (starved(s, at)) mark(s, at); /* the new samples are heard from now on */
  /* Where these frames go: the application's pointer, which a rewind may have moved back. Frames
   * behind what was heard already are lost, as on a card whose pointer has passed them. */
  const uint64_t first = io->appl_ptr;
  const char *src = (const char *)areas[0].addr + (areas[0].first + offset * areas[0].step) / 8;
  for (uint64_t f = first; f < first + size; ++f) {
    if (f < s->heard) continue;
    memcpy(s->ring + (f % s->ring_frames) * s->frame_bytes, src + (f - first) * s->frame_bytes, s->frame_bytes);
  }
  s->written = first + size > s->heard ? first + size : s->heard;
  return (snd_pcm_sframes_t)size;
}

static int sink_hw_params(snd_pcm_ioplug_t *io, snd_pcm_hw_params_t *params) {
  Sink *s = io->private_data;
  (void)params;
  free(s->ring);
  s->ring_frames = io->buffer_size;
  s->ring = calloc(io->buffer_size, s->frame_bytes);
  if (!s->ring) return -ENOMEM;
  s->boundary = io->buffer_size;
  while (s->boundary * 2 <= (snd_pcm_uframes_t)LONG_MAX - io->buffer_size) s->boundary *= 2;
  const long ns = (long)((uint64_t)io->period_size * 1000000000 / s->rate);
  struct itimerspec tick = {{ns / 1000000000, ns % 1000000000}, {ns / 1000000000, ns % 1000000000}};
  timerfd_settime(s->timer, 0, &tick, NULL);
  return 0;
}

static int sink_sw_params(snd_pcm_ioplug_t *io, snd_pcm_sw_params_t *params) {
  Sink *s = io->private_data;
  snd_pcm_uframes_t boundary = 0;
  if (snd_pcm_sw_params_get_boundary(params, &boundary) == 0 && boundary) s->boundary = boundary;
  return 0;
}

/* The capture and its marks start afresh with each opening of the device that plays. */
static int open_files(Sink *s) {
  s->out = open(s->out_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (s->out < 0) {
    const int err = -errno;
    SNDERR("qiwa_clock: cannot open %s", s->out_path);
    return err;
  }
  if (s->marks_path && (s->marks = fopen(s->marks_path, "we")) != NULL)
    fprintf(s->marks, "rate %u channels %u format S16_LE\n", s->rate, s->channels), fflush(s->marks);
  return 0;
}

static int sink_prepare(snd_pcm_ioplug_t *io) {
  Sink *s = io->private_data;
  s->running = 0;
  s->written = s->heard = 0;
  return s->out < 0 ? open_files(s) : 0;
}

static int sink_poll_revents(snd_pcm_ioplug_t *io, struct pollfd *pfd, unsigned int nfds,
                             unsigned short *revents) {
  Sink *s = io->private_data;
  uint64_t ticks;
  (void)nfds;
  *revents = 0;
  if (pfd[0].revents & POLLIN) {
    if (read(s->timer, &ticks, sizeof ticks) < 0) { /* another waiter took the tick */ }
    *revents = POLLOUT;
  }
  return 0;
}

static int sink_close(snd_pcm_ioplug_t *io) {
  Sink *s = io->private_data;
  if (s->out >= 0) advance(s, now_ns()); /* what the clock reached before the device closed was heard */
  if (s->out >= 0) close(s->out);
  close(s->timer);
  if (s->marks) fclose(s->marks);
  free(s->ring);
  free(s->out_path);
  free(s->marks_path);
  free(s);
  return 0;
}

static const snd_pcm_ioplug_callback_t callbacks = {
    .start = sink_start,
    .stop = sink_stop,
    .pointer = sink_pointer,
    .transfer = sink_transfer,
    .close = sink_close,
    .hw_params = sink_hw_params,
    .sw_params = sink_sw_params,
    .prepare = sink_prepare,
    .pause = sink_pause,
    .poll_revents = sink_poll_revents,
};

static int constrain(Sink *s) {
  static const unsigned access[] = {SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_MMAP_INTERLEAVED};
  static const unsigned formats[] = {SND_PCM_FORMAT_S16_LE};
  int err;
  if ((err = snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_ACCESS, 2, access)) < 0 ||
      (err = snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_CHANNELS, s->channels, s->channels)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_RATE, s->rate, s->rate)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64 * s->frame_bytes,
                                             1 << 20)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 256 * s->frame_bytes,
                                             4 << 20)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0)
    return err;
  return 0;
}

SND_PCM_PLUGIN_DEFINE_FUNC(qiwa_clock) {
  const char *file = NULL, *marks = NULL;
  long rate = 44100, channels = 2;
  snd_config_iterator_t i, next;
  (void)root;
  snd_config_for_each(i, next, conf) {
    snd_config_t *n = snd_config_iterator_entry(i);
    const char *id;
    if (snd_config_get_id(n, &id) < 0) continue;
    if (!strcmp(id, "comment") || !strcmp(id, "type") || !strcmp(id, "hint")) continue;
    if (!strcmp(id, "file") && snd_config_get_string(n, &file) == 0) continue;
    if (!strcmp(id, "marks") && snd_config_get_string(n, &marks) == 0) continue;
    if (!strcmp(id, "rate") && snd_config_get_integer(n, &rate) == 0) continue;
    if (!strcmp(id, "channels") && snd_config_get_integer(n, &channels) == 0) continue;
    SNDERR("qiwa_clock: unknown or bad field %s", id);
    return -EINVAL;
  }
  if (stream != SND_PCM_STREAM_PLAYBACK || !file || rate < 1000 || rate > 384000 || channels < 1 || channels > 8) {
    SNDERR("qiwa_clock: a playback device needs a file, a rate and 1 to 8 channels");
    return -EINVAL;
  }
  Sink *s = calloc(1, sizeof *s);
  if (!s) return -ENOMEM;
  s->rate = (unsigned)rate;
  s->channels = (unsigned)channels;
  s->frame_bytes = 2 * s->channels;
  s->boundary = 1;
  s->out = -1;
  s->out_path = strdup(file);
  s->marks_path = marks ? strdup(marks) : NULL;
  s->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (!s->out_path || (marks && !s->marks_path) || s->timer < 0) {
    const int err = s->timer < 0 ? -errno : -ENOMEM;
    if (s->timer >= 0) close(s->timer);
    free(s->out_path);
    free(s->marks_path);
    free(s);
    return err;
  }
  s->io.version = SND_PCM_IOPLUG_VERSION;
  s->io.name = "Qiwa bench sound device with a clock";
  s->io.callback = &callbacks;
  s->io.private_data = s;
  s->io.poll_fd = s->timer;
  s->io.poll_events = POLLIN;
  s->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA | SND_PCM_IOPLUG_FLAG_MONOTONIC;
  int err = snd_pcm_ioplug_create(&s->io, name, stream, mode);
  if (err < 0) {
    sink_close(&s->io);
    return err;
  }
  if ((err = constrain(s)) < 0) {
    snd_pcm_ioplug_delete(&s->io);
    return err;
  }
  *pcmp = s->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(qiwa_clock);
