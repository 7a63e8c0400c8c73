#include "capture/pulse_capture.h"

#include <pulse/pulseaudio.h>

#include <utility>

#include "capture/block_ring.h"

namespace corvane {

namespace {

// A server that does not answer (stopped, or hung) must not hold START for long.
constexpr double kAnswerSeconds = 5;

std::string ErrorText(pa_context* c) {
  return c ? pa_strerror(pa_context_errno(c)) : "out of memory";
}

struct Lookup {
  pa_threaded_mainloop* loop = nullptr;
  bool done = false;
  bool found = false;
  std::string name;
  std::string description;
  int channels = 0;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* p) {
  auto* l = static_cast<Lookup*>(p);
  if (info && info->default_source_name) l->name = info->default_source_name;
  l->done = true;
  pa_threaded_mainloop_signal(l->loop, 0);
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* p) {
  auto* l = static_cast<Lookup*>(p);
  if (eol == 0 && info) {
    l->found = true;
    l->channels = info->sample_spec.channels;
    l->description = info->description ? info->description : info->name;
    return;
  }
  l->done = true;
  pa_threaded_mainloop_signal(l->loop, 0);
}

}  // namespace

PulseCapture::PulseCapture(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

PulseCapture::~PulseCapture() {
  Close();
}

template <class Done>
bool PulseCapture::WaitLocked(Done done, double seconds) {
  struct Deadline {
    pa_threaded_mainloop* loop;
    bool passed = false;
  } deadline{loop_};
  pa_time_event* event = pa_context_rttime_new(
      context_, pa_rtclock_now() + static_cast<pa_usec_t>(seconds * 1e6),
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* p) {
        auto* d = static_cast<Deadline*>(p);
        d->passed = true;
        pa_threaded_mainloop_signal(d->loop, 0);
      },
      &deadline);
  while (!done() && !deadline.passed) pa_threaded_mainloop_wait(loop_);
  if (event) pa_threaded_mainloop_get_api(loop_)->time_free(event);
  return done();
}

bool PulseCapture::Open(const std::string& source, int rate, BlockRing* ring, std::string* error) {
  Close();
  auto fail = [&](const std::string& why) {
    if (loop_) pa_threaded_mainloop_unlock(loop_);
    if (error) *error = why;
    Close();
    return false;
  };
  ring_ = ring;
  loop_ = pa_threaded_mainloop_new();
  if (!loop_) return fail("the audio library did not start");
  pa_threaded_mainloop_lock(loop_);
  pa_threaded_mainloop_set_name(loop_, "corvane-audio");
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Corvane");
  if (!context_) return fail("the audio library did not start");
  pa_context_set_state_callback(context_, &PulseCapture::OnContextState, this);
  // Never a server of our own: the machine's, or none.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(loop_) < 0) {
    return fail("no capture device (is an audio server running?): " + ErrorText(context_));
  }
  const bool ready = WaitLocked(
      [this] {
        const pa_context_state_t s = pa_context_get_state(context_);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      },
      kAnswerSeconds);
  if (!ready || pa_context_get_state(context_) != PA_CONTEXT_READY) {
    return fail("no capture device (is an audio server running?): " +
                (ready ? ErrorText(context_) : std::string("no answer")));
  }

  Lookup lookup;
  lookup.loop = loop_;
  lookup.name = source;
  if (source.empty()) {
    pa_operation* op = pa_context_get_server_info(context_, OnServerInfo, &lookup);
    if (op) {
      WaitLocked([&lookup] { return lookup.done; }, kAnswerSeconds);
      pa_operation_unref(op);
    }
    if (lookup.name.empty()) return fail("no capture device (the audio server names none)");
    lookup.done = false;
  }
  pa_operation* op =
      pa_context_get_source_info_by_name(context_, lookup.name.c_str(), OnSourceInfo, &lookup);
  if (op) {
    WaitLocked([&lookup] { return lookup.done; }, kAnswerSeconds);
    pa_operation_unref(op);
  }
  if (!lookup.found) {
    return fail(source.empty() ? "no capture device (the default input is gone)"
                               : "capture device " + source + " is not present (unplugged?)");
  }
  channels_ = lookup.channels == 1 ? 1 : 2;
  description_ = lookup.description;

  pa_sample_spec sampleFormat;
  sampleFormat.format = PA_SAMPLE_S16NE;
  sampleFormat.rate = rate > 0 ? static_cast<uint32_t>(rate) : 0;
  sampleFormat.channels = static_cast<uint8_t>(channels_);
  if (!pa_sample_spec_valid(&sampleFormat)) {
    return fail(description_ + " does not take 16-bit samples at " + std::to_string(rate) + " Hz");
  }
  stream_ = pa_stream_new(context_, "Corvane capture", &sampleFormat, nullptr);
  if (!stream_) return fail(description_ + ": " + ErrorText(context_));
  pa_stream_set_state_callback(stream_, &PulseCapture::OnStreamState, this);
  pa_stream_set_read_callback(stream_, &PulseCapture::OnRead, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kPeriodMs * PA_USEC_PER_MSEC, &sampleFormat));
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_, lookup.name.c_str(), &attr, flags) < 0) {
    return fail(description_ + ": " + ErrorText(context_));
  }
  const bool connected = WaitLocked(
      [this] {
        const pa_stream_state_t s = pa_stream_get_state(stream_);
        return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
      },
      kAnswerSeconds);
  if (!connected || pa_stream_get_state(stream_) != PA_STREAM_READY) {
    return fail(description_ + ": " + (connected ? ErrorText(context_) : "no answer"));
  }
  running_ = true;
  pa_threaded_mainloop_unlock(loop_);
  return true;
}

void PulseCapture::Close() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  running_ = false;
  if (stream_) {
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
  ring_ = nullptr;
  failed_ = false;
}

void PulseCapture::Fail(const std::string& why) {
  if (!running_ || failed_) return;
  failed_ = true;
  if (callbacks_.failed) callbacks_.failed(why);
}

void PulseCapture::OnContextState(pa_context* c, void* p) {
  auto* self = static_cast<PulseCapture*>(p);
  const pa_context_state_t s = pa_context_get_state(c);
  if (!PA_CONTEXT_IS_GOOD(s)) self->Fail(ErrorText(c));
  pa_threaded_mainloop_signal(self->loop_, 0);
}

void PulseCapture::OnStreamState(pa_stream* s, void* p) {
  auto* self = static_cast<PulseCapture*>(p);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) self->Fail(ErrorText(self->context_));
  pa_threaded_mainloop_signal(self->loop_, 0);
}

void PulseCapture::OnRead(pa_stream* s, size_t, void* p) {
  auto* self = static_cast<PulseCapture*>(p);
  const size_t frameBytes = 2 * static_cast<size_t>(self->channels_);
  int64_t completed = 0;
  for (;;) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) break;
    const auto frames = static_cast<int64_t>(bytes / frameBytes);
    if (data) {
      completed += self->ring_->Push(static_cast<const int16_t*>(data), frames, self->channels_);
    } else {
      self->ring_->Skip(frames);  // a hole: audio the server never delivered
    }
    pa_stream_drop(s);
  }
  if (completed > 0 && self->callbacks_.blocksReady) self->callbacks_.blocksReady();
}

}  // namespace corvane
