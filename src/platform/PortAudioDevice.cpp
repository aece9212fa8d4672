#include "platform/PortAudioDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace tsv {

namespace {

// PortAudio, initialised once for the process and terminated at exit.
// Stream open, start, stop and close go through `lock`: the library's
// host layers are not meant to be entered from two threads at once.
class PortAudioLibrary {
 public:
  static PortAudioLibrary& Get() {
    static PortAudioLibrary library;
    return library;
  }
  bool ready() const { return ready_; }
  std::mutex lock;

 private:
  PortAudioLibrary() : ready_(InitializeQuietly() == paNoError) {}
  ~PortAudioLibrary() {
    if (ready_) Pa_Terminate();
  }

  // The host layers probe every sound card and sound server they know and
  // print each failure on stderr (dozens of lines on a machine without a
  // sound card). Standard error is sent to /dev/null for the probe; a
  // message another thread writes in those few milliseconds is lost too.
  static PaError InitializeQuietly() {
    std::fflush(stderr);
    const int saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool redirected = saved >= 0 && quiet >= 0 && ::dup2(quiet, STDERR_FILENO) >= 0;
    const PaError result = Pa_Initialize();
    if (redirected) {
      std::fflush(stderr);
      ::dup2(saved, STDERR_FILENO);
    }
    if (quiet >= 0) ::close(quiet);
    if (saved >= 0) ::close(saved);
    return result;
  }

  const bool ready_;
};

struct OutputFormat {
  double rate;
  int channels;
};

// Opens (not starts) an output stream on the default device in the first
// format it takes: our own, then the device's own rate in mono and in
// stereo. Under the library lock.
PaStream* OpenDefaultOutput(PaStreamCallback* callback, void* data, OutputFormat* chosen) {
  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return nullptr;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info) return nullptr;
  const OutputFormat formats[] = {
      {kAudioDeviceRate, 1}, {info->defaultSampleRate, 1}, {info->defaultSampleRate, 2}, {48000, 2}, {44100, 2}};
  for (const OutputFormat& format : formats) {
    if (format.rate <= 0) continue;
    PaStreamParameters params{};
    params.device = device;
    params.channelCount = format.channels;
    params.sampleFormat = paInt16;
    params.suggestedLatency = info->defaultHighOutputLatency;
    if (Pa_IsFormatSupported(nullptr, &params, format.rate) != paFormatIsSupported) continue;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &params, format.rate, paFramesPerBufferUnspecified, paNoFlag, callback, data) ==
        paNoError) {
      *chosen = format;
      return stream;
    }
  }
  return nullptr;
}

}  // namespace

bool PortAudioDevice::DefaultOutputOpens() {
  PortAudioLibrary& library = PortAudioLibrary::Get();
  if (!library.ready()) return false;
  std::lock_guard lock(library.lock);
  OutputFormat format{};
  // No callback: a blocking-interface stream, never started.
  PaStream* stream = OpenDefaultOutput(nullptr, nullptr, &format);
  if (!stream) return false;
  Pa_CloseStream(stream);
  return true;
}

PortAudioDevice::PortAudioDevice() = default;

PortAudioDevice::~PortAudioDevice() { PortAudioDevice::Close(); }

bool PortAudioDevice::Open(Callbacks callbacks) {
  std::lock_guard session(sessionLock_);
  if (stream_) return false;
  PortAudioLibrary& library = PortAudioLibrary::Get();
  if (!library.ready()) return false;
  {
    std::lock_guard queue(queueLock_);
    queue_.Clear();
  }
  paused_.store(false);
  std::lock_guard lock(library.lock);
  OutputFormat format{};
  PaStream* stream = OpenDefaultOutput(&PortAudioDevice::StreamCallback, this, &format);
  if (!stream) return false;
  channels_ = format.channels;
  {
    std::lock_guard queue(queueLock_);
    queue_.SetOutputRate(format.rate);
  }
  if (Pa_StartStream(stream) != paNoError) {
    Pa_CloseStream(stream);
    return false;
  }
  stream_ = stream;
  {
    std::lock_guard queue(queueLock_);
    open_ = true;
  }
  notifier_.Start(std::move(callbacks));
  return true;
}

bool PortAudioDevice::Write(const int16_t* samples, std::size_t count) {
  std::lock_guard queue(queueLock_);
  return open_ && queue_.Push(samples, count);
}

void PortAudioDevice::Pause() { paused_.store(true, std::memory_order_relaxed); }

void PortAudioDevice::Restart() { paused_.store(false, std::memory_order_relaxed); }

void PortAudioDevice::Reset() {
  {
    std::lock_guard queue(queueLock_);
    if (!open_) return;
    notifier_.Post(queue_.Clear());
  }
  notifier_.WaitDelivered();
}

void PortAudioDevice::Close() {
  std::lock_guard session(sessionLock_);
  if (!stream_) return;
  {
    std::lock_guard lock(PortAudioLibrary::Get().lock);
    // Abort, not stop: queued sound is discarded rather than drained.
    Pa_AbortStream(stream_);
    Pa_CloseStream(stream_);
  }
  stream_ = nullptr;
  {
    std::lock_guard queue(queueLock_);
    notifier_.Post(queue_.Clear());
    open_ = false;
  }
  notifier_.Finish();
}

int PortAudioDevice::StreamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                                    PaStreamCallbackFlags, void* self) {
  static_cast<PortAudioDevice*>(self)->Fill(static_cast<int16_t*>(output), frames);
  return paContinue;
}

void PortAudioDevice::Fill(int16_t* out, unsigned long frames) {
  if (paused_.load(std::memory_order_relaxed) || !queueLock_.try_lock()) {
    std::memset(out, 0, frames * static_cast<std::size_t>(channels_) * sizeof(int16_t));
    return;
  }
  const uint32_t played = queue_.Fill(out, frames, channels_);
  queueLock_.unlock();
  notifier_.Post(played);
}

}  // namespace tsv
