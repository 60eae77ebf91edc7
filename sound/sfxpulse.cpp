#include "sound/sfxpulse.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kChannels = 2;
constexpr size_t kFrameBytes = kChannels * sizeof(float);
// The most rendered in one go, and the most a rewrite goes back.
constexpr int kRenderFrames = 2048;
constexpr int kRewriteBackMs = 500;

uint32_t Bytes(int rate, int ms) {
  return uint32_t(int64_t(rate) * ms / 1000) * uint32_t(kFrameBytes);
}

} // namespace

TSfxPulseOutput::TSfxPulseOutput(TSfxOutputSource &source, int rate)
    : FSource(source), FRate(rate) {}

std::unique_ptr<TSfxPulseOutput> TSfxPulseOutput::Open(TSfxOutputSource &source, int rate,
                                                       bool paused, bool &pipeWire) {
  std::unique_ptr<TSfxPulseOutput> output(new TSfxPulseOutput(source, rate));
  pipeWire = false;
  if (!output->Connect(paused, pipeWire))
    return nullptr;
  return output;
}

TSfxPulseOutput::~TSfxPulseOutput() {
  if (FLoop) {
    pa_threaded_mainloop_lock(FLoop);
    if (FStream)
      pa_stream_disconnect(FStream);
    if (FContext)
      pa_context_disconnect(FContext);
    pa_threaded_mainloop_unlock(FLoop);
    pa_threaded_mainloop_stop(FLoop);
  }
  if (FStream)
    pa_stream_unref(FStream);
  if (FWakeEvent)
    pa_threaded_mainloop_get_api(FLoop)->io_free(FWakeEvent);
  if (FContext)
    pa_context_unref(FContext);
  if (FLoop)
    pa_threaded_mainloop_free(FLoop);
  if (FWakeFd >= 0)
    ::close(FWakeFd);
}

// Waits, with the loop's lock held, until `ready`, a failure or the
// connection's time is up.
bool TSfxPulseOutput::WaitUntilReady(bool (*ready)(TSfxPulseOutput &)) {
  while (!ready(*this) && !FFailed.load() && !FTimedOut)
    pa_threaded_mainloop_wait(FLoop);
  return ready(*this) && !FFailed.load();
}

bool TSfxPulseOutput::Connect(bool paused, bool &pipeWire) {
  FRewriteFrames = int64_t(FRate) * kRewriteBackMs / 1000;
  FRewriteBuffer.assign(size_t(FRewriteFrames) * kChannels, 0.0f);
  FWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  FLoop = pa_threaded_mainloop_new();
  if (FWakeFd < 0 || !FLoop)
    return false;
  pa_mainloop_api *api = pa_threaded_mainloop_get_api(FLoop);
  pa_proplist *props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Zoftrel");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "zoftrel");
  pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "game");
  FContext = pa_context_new_with_proplist(api, "Zoftrel", props);
  pa_proplist_free(props);
  if (!FContext)
    return false;
  pa_context_set_state_callback(FContext, &TSfxPulseOutput::ContextState, this);
  FWakeEvent = api->io_new(api, FWakeFd, PA_IO_EVENT_INPUT, &TSfxPulseOutput::Wakened, this);
  if (!FWakeEvent || pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return false;

  pa_threaded_mainloop_lock(FLoop);
  if (pa_threaded_mainloop_start(FLoop) < 0) {
    pa_threaded_mainloop_unlock(FLoop);
    return false;
  }
  pa_time_event *deadline = pa_context_rttime_new(
      FContext, pa_rtclock_now() + pa_usec_t(kConnectTimeoutMs) * PA_USEC_PER_MSEC,
      [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
        auto *output = static_cast<TSfxPulseOutput *>(self);
        output->FTimedOut = true;
        pa_threaded_mainloop_signal(output->FLoop, 0);
      },
      this);
  bool ok = WaitUntilReady(
      [](TSfxPulseOutput &o) { return pa_context_get_state(o.FContext) == PA_CONTEXT_READY; });
  if (ok) {
    pa_operation *asked = pa_context_get_server_info(
        FContext,
        [](pa_context *, const pa_server_info *info, void *self) {
          auto *output = static_cast<TSfxPulseOutput *>(self);
          output->FPipeWire =
              info && info->server_name && std::strstr(info->server_name, "PipeWire");
          pa_threaded_mainloop_signal(output->FLoop, 0);
        },
        this);
    if (asked)
      pa_operation_unref(asked);
    ok = asked && WaitUntilReady([](TSfxPulseOutput &o) { return o.FPipeWire >= 0; });
    pipeWire = FPipeWire == 1;
    ok = ok && !pipeWire;
  }
  if (ok) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, uint32_t(FRate), uint8_t(kChannels)};
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    FStream = pa_stream_new(FContext, "Zoftrel", &spec, &map);
    ok = FStream != nullptr;
  }
  if (ok) {
    pa_stream_set_state_callback(FStream, &TSfxPulseOutput::StreamState, this);
    pa_stream_set_write_callback(FStream, &TSfxPulseOutput::WriteRequest, this);
    // The server keeps the sink's own latency at what is left of the
    // buffer after two requests: a tenth of it.
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = Bytes(FRate, kAheadMs);
    attr.prebuf = uint32_t(-1);
    attr.minreq = Bytes(FRate, kRequestMs);
    attr.fragsize = uint32_t(-1);
    FCorked = paused;
    const pa_stream_flags_t flags = paused ? PA_STREAM_START_CORKED : PA_STREAM_NOFLAGS;
    ok = pa_stream_connect_playback(FStream, nullptr, &attr, flags, nullptr, nullptr) == 0 &&
         WaitUntilReady(
             [](TSfxPulseOutput &o) { return pa_stream_get_state(o.FStream) == PA_STREAM_READY; });
  }
  if (ok) {
    const pa_buffer_attr *attr = pa_stream_get_buffer_attr(FStream);
    FAheadFrames = attr->tlength / kFrameBytes;
    FRequestFrames = attr->minreq / kFrameBytes;
  }
  if (deadline)
    pa_threaded_mainloop_get_api(FLoop)->time_free(deadline);
  pa_threaded_mainloop_unlock(FLoop);
  return ok;
}

void TSfxPulseOutput::ContextState(pa_context *context, void *self) {
  auto *output = static_cast<TSfxPulseOutput *>(self);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
    output->FFailed = true;
  pa_threaded_mainloop_signal(output->FLoop, 0);
}

void TSfxPulseOutput::StreamState(pa_stream *stream, void *self) {
  auto *output = static_cast<TSfxPulseOutput *>(self);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
    output->FFailed = true;
  pa_threaded_mainloop_signal(output->FLoop, 0);
}

void TSfxPulseOutput::WriteRequest(pa_stream *, size_t bytes, void *self) {
  static_cast<TSfxPulseOutput *>(self)->Write(bytes);
}

// Renders what the server asks for straight into its memory.
void TSfxPulseOutput::Write(size_t bytes) {
  while (bytes >= kFrameBytes) {
    void *data = nullptr;
    size_t n = std::min(bytes, kRenderFrames * kFrameBytes);
    if (pa_stream_begin_write(FStream, &data, &n) < 0 || !data)
      return;
    const int frames = int(std::min(n, bytes) / kFrameBytes);
    if (frames == 0) {
      pa_stream_cancel_write(FStream);
      return;
    }
    auto *out = static_cast<float *>(data);
    {
      std::lock_guard lock(FSource.MixLock());
      FSource.RenderLocked(out, frames);
    }
    if (pa_stream_write(FStream, data, size_t(frames) * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) <
        0)
      return;
    FWritten += frames;
    bytes -= size_t(frames) * kFrameBytes;
    FWrites.fetch_add(1, std::memory_order_relaxed);
  }
}

void TSfxPulseOutput::RequestRewrite() {
  if (FRewriteWanted.exchange(true))
    return; // already on its way: this change shares it
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(FWakeFd, &one, sizeof one);
}

void TSfxPulseOutput::Wakened(pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags_t,
                              void *self) {
  uint64_t count;
  [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
  auto *output = static_cast<TSfxPulseOutput *>(self);
  output->FRewriteWanted = false;
  output->Rewrite();
}

// Asks where the server reads now; the answer does the rewrite, for every
// change made until then.
void TSfxPulseOutput::Rewrite() {
  if (FTimingAsked)
    return;
  if (!FStream || pa_stream_get_state(FStream) != PA_STREAM_READY) {
    FSource.ReleaseChanges();
    return;
  }
  pa_operation *asked =
      pa_stream_update_timing_info(FStream, &TSfxPulseOutput::TimingUpdated, this);
  if (!asked) {
    FSource.ReleaseChanges();
    return;
  }
  pa_operation_unref(asked);
  FTimingAsked = true;
}

void TSfxPulseOutput::TimingUpdated(pa_stream *stream, int success, void *self) {
  auto *output = static_cast<TSfxPulseOutput *>(self);
  output->FTimingAsked = false;
  const pa_timing_info *timing = success ? pa_stream_get_timing_info(stream) : nullptr;
  if (!timing || timing->read_index_corrupt) {
    output->FSource.ReleaseChanges();
    return;
  }
  int64_t read = timing->read_index / int64_t(kFrameBytes);
  if (timing->playing)
    read += int64_t(pa_timeval_age(&timing->timestamp)) * output->FRate / int64_t(PA_USEC_PER_SEC);
  // The sink takes its latency's worth at a time: a rewrite that starts
  // less far ahead may land where it has read already, and lose the start
  // of the new sounds.
  const int64_t margin = std::max<int64_t>(int64_t(timing->configured_sink_usec) * output->FRate /
                                               int64_t(PA_USEC_PER_SEC),
                                           int64_t(output->FRate) * kRewriteMarginMs / 1000);
  output->RewriteAt(read + margin);
}

// Writes again from stream frame `from` to the write index: the mix as it
// is with every change since the last rewrite made at `from`.
void TSfxPulseOutput::RewriteAt(int64_t from) {
  from = std::max(from, FWritten - FRewriteFrames);
  if (from >= FWritten) {
    FSource.ReleaseChanges(); // nothing written ahead: the next write takes them
    return;
  }
  float *buffer = FRewriteBuffer.data();
  const int frames = FSource.Rerender(buffer, int(FWritten - from));
  if (frames > 0 &&
      pa_stream_write(FStream, buffer, size_t(frames) * kFrameBytes, nullptr,
                      (FWritten - frames) * int64_t(kFrameBytes), PA_SEEK_ABSOLUTE) == 0)
    FRewrites.fetch_add(1, std::memory_order_relaxed);
}

void TSfxPulseOutput::SetPaused(bool paused) {
  pa_threaded_mainloop_lock(FLoop);
  if (paused != FCorked) {
    FCorked = paused;
    if (pa_operation *corked = pa_stream_cork(FStream, paused ? 1 : 0, nullptr, nullptr))
      pa_operation_unref(corked);
  }
  pa_threaded_mainloop_unlock(FLoop);
}

void TSfxPulseOutput::Stall(bool stalled) {
  if (stalled)
    pa_threaded_mainloop_lock(FLoop);
  else
    pa_threaded_mainloop_unlock(FLoop);
}
