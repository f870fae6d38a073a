#include "linux/PulseAudioInput.h"

#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>
#include <vector>

namespace murmelo::linuxdesktop {
namespace {

// How long the main thread waits for the server before it counts as unreachable.
constexpr double SERVER_WAIT_SECONDS = 3.0;

struct Waiter {
    pa_threaded_mainloop* loop;
    bool done = false;
};

void signalLoop(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

// A reply that did not come in time must not write into a query that is gone.
void finishOperation(pa_operation* op) {
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
    pa_operation_unref(op);
}

void closeRecordStreamLocked(pa_stream*& stream) {
    if (!stream) return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

// Hands every fragment the server holds to deliver, in order; a hole in the stream becomes
// silence, which keeps the take's timing.
template <typename Sample, typename Deliver>
void drainStreamLocked(pa_stream* stream, const Deliver& deliver) {
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) break;
        const size_t count = bytes / sizeof(Sample);
        if (data) {
            deliver(static_cast<const Sample*>(data), count);
        } else {
            const std::vector<Sample> zeros(count, Sample(0));
            deliver(zeros.data(), zeros.size());
        }
        pa_stream_drop(stream);
    }
}

}  // namespace

pa_stream* PulseAudioInput::openRecordStreamLocked(const char* name, const pa_sample_spec& spec, const pa_channel_map* map,
                                                   const char* device, pa_stream_request_cb_t onRead, void* self,
                                                   int* error) {
    pa_stream* stream = pa_stream_new(context_, name, &spec, map);
    if (!stream) {
        if (error) *error = pa_context_errno(context_);
        return nullptr;
    }
    pa_stream_set_state_callback(stream, [](pa_stream*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); }, loop_);
    pa_stream_set_read_callback(stream, onRead, self);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(20 * PA_USEC_PER_MSEC, &spec));  // 20 ms
    bool ready = false;
    if (pa_stream_connect_record(stream, device, &attr, PA_STREAM_ADJUST_LATENCY) == 0) {
        bool timedOut = false;
        pa_time_event* timer = pa_context_rttime_new(
            context_, pa_rtclock_now() + pa_usec_t(SERVER_WAIT_SECONDS * PA_USEC_PER_SEC),
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) { *static_cast<bool*>(flag) = true; }, &timedOut);
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (state == PA_STREAM_READY) {
                ready = true;
                break;
            }
            if (!PA_STREAM_IS_GOOD(state) || timedOut) break;
            pa_threaded_mainloop_wait(loop_);
        }
        if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    }
    if (!ready) {
        if (error) *error = pa_context_errno(context_) ? pa_context_errno(context_) : PA_ERR_TIMEOUT;
        closeRecordStreamLocked(stream);
        return nullptr;
    }
    return stream;
}

class PulseAudioInput::Capture : public AudioCapture {
public:
    Capture(PulseAudioInput& input, int rate) : input_(input), rate_(rate) {}
    ~Capture() override { stop(); }

    bool start(Sink sink) override {
        if (running_) return true;
        pa_threaded_mainloop_lock(input_.loop_);
        if (input_.readyContextLocked() != 0) {
            pa_threaded_mainloop_unlock(input_.loop_);
            return false;
        }
        sink_ = std::move(sink);
        const pa_sample_spec spec{PA_SAMPLE_S16NE, uint32_t(rate_), 1};
        stream_ = input_.openRecordStreamLocked("dictation", spec, nullptr, nullptr,
                                                [](pa_stream*, size_t, void* self) { static_cast<Capture*>(self)->drainLocked(); }, this);
        if (!stream_) {
            sink_ = nullptr;
            pa_threaded_mainloop_unlock(input_.loop_);
            return false;
        }
        running_ = true;
        pa_threaded_mainloop_unlock(input_.loop_);
        return true;
    }

    void stop() override {
        if (!running_) return;
        pa_threaded_mainloop_lock(input_.loop_);
        // What the server has already handed over still belongs to the take.
        drainLocked();
        releaseLocked();
        running_ = false;
        pa_threaded_mainloop_unlock(input_.loop_);
    }

    bool isRunning() const override { return running_; }

private:
    void drainLocked() {
        if (stream_ && sink_) drainStreamLocked<qint16>(stream_, sink_);
    }

    void releaseLocked() {
        closeRecordStreamLocked(stream_);
        sink_ = nullptr;
    }

    PulseAudioInput& input_;
    int rate_;
    pa_stream* stream_ = nullptr;
    Sink sink_;
    bool running_ = false;
};

// Records one source by its own name, so the stream stays on the device that was asked for,
// as float samples at the source's own rate and channel map.
class PulseAudioInput::FloatCapture : public FloatAudioCapture {
public:
    FloatCapture(PulseAudioInput& input, QByteArray source, const pa_sample_spec& spec, const pa_channel_map& map)
        : input_(input), source_(std::move(source)), spec_(spec), map_(map) {
        format_.sampleRate = spec.rate;
        format_.channels = spec.channels;
    }
    ~FloatCapture() override { stop(); }

    const AudioFormat& format() const override { return format_; }

    bool start(Sink sink, AudioCaptureFailure* failure, QString* error) override {
        if (running_) return true;
        pa_threaded_mainloop_lock(input_.loop_);
        int status = input_.readyContextLocked();
        if (status != 0) {
            pa_threaded_mainloop_unlock(input_.loop_);
            return fail(failure, AudioCaptureFailure::noServer, error, status);
        }
        sink_ = std::move(sink);
        stream_ = input_.openRecordStreamLocked(
            "meeting", spec_, &map_, source_.constData(),
            [](pa_stream*, size_t, void* self) { static_cast<FloatCapture*>(self)->drainLocked(); }, this, &status);
        if (!stream_) {
            sink_ = nullptr;
            pa_threaded_mainloop_unlock(input_.loop_);
            return fail(failure, AudioCaptureFailure::refused, error, status);
        }
        running_ = true;
        pa_threaded_mainloop_unlock(input_.loop_);
        return true;
    }

    void stop() override {
        if (!running_) return;
        pa_threaded_mainloop_lock(input_.loop_);
        drainLocked();
        closeRecordStreamLocked(stream_);
        sink_ = nullptr;
        running_ = false;
        pa_threaded_mainloop_unlock(input_.loop_);
    }

    bool isRunning() const override { return running_; }

private:
    static bool fail(AudioCaptureFailure* failure, AudioCaptureFailure kind, QString* error, int status) {
        if (failure) *failure = kind;
        if (error) *error = QStringLiteral("PulseAudio: ") + QString::fromUtf8(pa_strerror(status));
        return false;
    }

    void drainLocked() {
        if (stream_ && sink_) drainStreamLocked<float>(stream_, sink_);
    }

    PulseAudioInput& input_;
    QByteArray source_;
    pa_sample_spec spec_;
    pa_channel_map map_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    Sink sink_;
    bool running_ = false;
};

PulseAudioInput::PulseAudioInput() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

PulseAudioInput::~PulseAudioInput() {
    if (!loop_) return;
    pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_free(loop_);
}

bool PulseAudioInput::waitLocked(const bool& done, double seconds) {
    bool timedOut = false;
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + pa_usec_t(seconds * PA_USEC_PER_SEC),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) { *static_cast<bool*>(flag) = true; }, &timedOut);
    while (!done && !timedOut) pa_threaded_mainloop_wait(loop_);
    if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    return done;
}

int PulseAudioInput::readyContextLocked() {
    if (!loop_) return PA_ERR_INTERNAL;
    if (context_) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return 0;
        if (PA_CONTEXT_IS_GOOD(state)) {
            // Another caller's connection attempt is still under way: wait for its end.
        } else {
            pa_context_unref(context_);
            context_ = nullptr;
            subscribed_ = false;
        }
    }
    if (!context_) {
        const QByteArray name = QCoreApplication::applicationName().isEmpty()
                                    ? QByteArray("murmelo")
                                    : QCoreApplication::applicationName().toUtf8();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), name.constData());
        if (!context_) return PA_ERR_INTERNAL;
        pa_context_set_state_callback(context_, [](pa_context*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); }, loop_);
        pa_context_set_subscribe_callback(
            context_,
            [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
                if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
                    static_cast<PulseAudioInput*>(self)->noteServerChange();
            },
            this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            const int error = pa_context_errno(context_);
            pa_context_unref(context_);
            context_ = nullptr;
            return error ? error : PA_ERR_CONNECTIONREFUSED;
        }
    }
    bool timedOut = false;
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + pa_usec_t(SERVER_WAIT_SECONDS * PA_USEC_PER_SEC),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) { *static_cast<bool*>(flag) = true; }, &timedOut);
    pa_context_state_t state;
    while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state) && !timedOut)
        pa_threaded_mainloop_wait(loop_);
    if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    if (state == PA_CONTEXT_READY) {
        if (!listeners_.empty() && !subscribed_) subscribeLocked();
        return 0;
    }
    const int error = pa_context_errno(context_);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    subscribed_ = false;
    return error ? error : PA_ERR_TIMEOUT;
}

bool PulseAudioInput::connect() {
    if (!loop_) return false;
    pa_threaded_mainloop_lock(loop_);
    const bool ok = readyContextLocked() == 0;
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}

std::optional<AudioInputDevice> PulseAudioInput::defaultInputDevice() {
    if (!loop_) return std::nullopt;
    pa_threaded_mainloop_lock(loop_);
    if (readyContextLocked() != 0) {
        pa_threaded_mainloop_unlock(loop_);
        return std::nullopt;
    }
    struct Query {
        PulseAudioInput* self = nullptr;
        bool done = false;
        QByteArray source;
        std::optional<AudioInputDevice> device;
    } q;
    q.self = this;
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info && info->default_source_name) q->source = info->default_source_name;
            q->done = true;
            signalLoop(q->self->loop_);
        },
        &q);
    if (op) {
        waitLocked(q.done, SERVER_WAIT_SECONDS);
        finishOperation(op);
    }
    if (!q.source.isEmpty()) {
        q.done = false;
        op = pa_context_get_source_info_by_name(
            context_, q.source.constData(),
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                auto* q = static_cast<Query*>(data);
                if (eol == 0 && info) {
                    AudioInputDevice d;
                    d.id = info->index;
                    if (info->description && *info->description) d.name = QString::fromUtf8(info->description);
                    q->device = d;
                    return;
                }
                q->done = true;
                signalLoop(q->self->loop_);
            },
            &q);
        if (op) {
            waitLocked(q.done, SERVER_WAIT_SECONDS);
            finishOperation(op);
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    return q.device;
}

std::vector<PlayingStream> PulseAudioInput::playingStreams() {
    if (!loop_) return {};
    pa_threaded_mainloop_lock(loop_);
    if (readyContextLocked() != 0) {
        pa_threaded_mainloop_unlock(loop_);
        return {};
    }
    struct Query {
        PulseAudioInput* self = nullptr;
        bool done = false;
        std::vector<PlayingStream> streams;
    } q;
    q.self = this;
    pa_operation* op = pa_context_get_sink_input_info_list(
        context_,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
            auto* q = static_cast<Query*>(data);
            if (eol == 0 && info) {
                if (info->corked) return;
                auto property = [&](const char* key) {
                    const char* v = info->proplist ? pa_proplist_gets(info->proplist, key) : nullptr;
                    return v ? QString::fromUtf8(v) : QString();
                };
                PlayingStream s;
                bool ok = false;
                s.pid = property(PA_PROP_APPLICATION_PROCESS_ID).toLongLong(&ok);
                if (!ok || s.pid <= 0) return;
                s.name = property(PA_PROP_APPLICATION_NAME);
                s.binary = property(PA_PROP_APPLICATION_PROCESS_BINARY);
                q->streams.push_back(s);
                return;
            }
            q->done = true;
            signalLoop(q->self->loop_);
        },
        &q);
    if (op) {
        waitLocked(q.done, SERVER_WAIT_SECONDS);
        finishOperation(op);
    }
    pa_threaded_mainloop_unlock(loop_);
    return q.done ? q.streams : std::vector<PlayingStream>{};
}

bool PulseAudioInput::subscribeLocked() {
    struct Result {
        PulseAudioInput* self;
        bool done = false;
        bool ok = false;
    } r{this};
    pa_operation* op = pa_context_subscribe(
        context_, PA_SUBSCRIPTION_MASK_SERVER,
        [](pa_context*, int success, void* data) {
            auto* r = static_cast<Result*>(data);
            r->ok = success != 0;
            r->done = true;
            signalLoop(r->self->loop_);
        },
        &r);
    if (!op) return false;
    waitLocked(r.done, SERVER_WAIT_SECONDS);
    finishOperation(op);
    subscribed_ = r.ok;
    return r.ok;
}

void PulseAudioInput::noteServerChange() {
    // On PulseAudio's thread: ask which source is the default now and compare.
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* self = static_cast<PulseAudioInput*>(data);
            const QByteArray now = info && info->default_source_name ? QByteArray(info->default_source_name) : QByteArray();
            if (now == self->lastDefaultSource_) return;
            self->lastDefaultSource_ = now;
            for (const auto& l : self->listeners_) MainQueue::shared().post(l);
        },
        this);
    if (op) pa_operation_unref(op);
}

int PulseAudioInput::addDefaultInputListener(std::function<void()> onChange) {
    if (!loop_) return PA_ERR_INTERNAL;
    pa_threaded_mainloop_lock(loop_);
    const int status = readyContextLocked();
    if (status != 0) {
        pa_threaded_mainloop_unlock(loop_);
        return status;
    }
    if (!subscribed_) {
        // The source in force now is the baseline the news is compared with.
        struct Query {
            PulseAudioInput* self;
            bool done = false;
        } q{this};
        pa_operation* op = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* q = static_cast<Query*>(data);
                q->self->lastDefaultSource_ = info && info->default_source_name ? QByteArray(info->default_source_name) : QByteArray();
                q->done = true;
                signalLoop(q->self->loop_);
            },
            &q);
        if (op) {
            waitLocked(q.done, SERVER_WAIT_SECONDS);
            finishOperation(op);
        }
        if (!subscribeLocked()) {
            const int error = pa_context_errno(context_);
            pa_threaded_mainloop_unlock(loop_);
            return error ? error : PA_ERR_UNKNOWN;
        }
    }
    listeners_.push_back(std::move(onChange));
    pa_threaded_mainloop_unlock(loop_);
    return 0;
}

std::unique_ptr<AudioCapture> PulseAudioInput::makeCapture(int sampleRate, QString* error) {
    if (!loop_) {
        if (error) *error = QStringLiteral("PulseAudio main loop could not start");
        return nullptr;
    }
    // Connecting now keeps the press itself quick, and an unreachable server shows here.
    pa_threaded_mainloop_lock(loop_);
    const int status = readyContextLocked();
    pa_threaded_mainloop_unlock(loop_);
    if (status != 0) {
        if (error) *error = QStringLiteral("PulseAudio: ") + QString::fromUtf8(pa_strerror(status));
        return nullptr;
    }
    return std::make_unique<Capture>(*this, sampleRate);
}

bool PulseAudioInput::sourceInfoLocked(const char* name, SourceInfo* out) {
    struct Query {
        PulseAudioInput* self;
        SourceInfo* out;
        bool found = false;
        bool done = false;
    } q{this, out};
    pa_operation* op = pa_context_get_source_info_by_name(
        context_, name,
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* q = static_cast<Query*>(data);
            if (eol == 0 && info) {
                q->out->name = info->name;
                q->out->spec = info->sample_spec;
                q->out->map = info->channel_map;
                q->out->volume = double(pa_cvolume_avg(&info->volume)) / double(PA_VOLUME_NORM);
                q->found = true;
                return;
            }
            q->done = true;
            signalLoop(q->self->loop_);
        },
        &q);
    if (!op) return false;
    waitLocked(q.done, SERVER_WAIT_SECONDS);
    finishOperation(op);
    return q.found && q.done;
}

std::unique_ptr<FloatAudioCapture> PulseAudioInput::makeFloatCapture(AudioSource source, AudioCaptureFailure* failure,
                                                                     QString* error) {
    const auto failed = [&](AudioCaptureFailure kind, const QString& why) -> std::unique_ptr<FloatAudioCapture> {
        if (failure) *failure = kind;
        if (error) *error = why;
        return nullptr;
    };
    if (!loop_) return failed(AudioCaptureFailure::noServer, QStringLiteral("PulseAudio main loop could not start"));
    pa_threaded_mainloop_lock(loop_);
    const int status = readyContextLocked();
    if (status != 0) {
        pa_threaded_mainloop_unlock(loop_);
        return failed(AudioCaptureFailure::noServer, QStringLiteral("PulseAudio: ") + QString::fromUtf8(pa_strerror(status)));
    }
    // The server resolves these names to whatever is the default at this moment.
    const char* name = source == AudioSource::defaultInput ? "@DEFAULT_SOURCE@" : "@DEFAULT_MONITOR@";
    SourceInfo info;
    const bool found = sourceInfoLocked(name, &info);
    pa_threaded_mainloop_unlock(loop_);
    if (!found || !pa_sample_spec_valid(&info.spec))
        return failed(AudioCaptureFailure::noDevice, QStringLiteral("PulseAudio: no source ") + QString::fromLatin1(name));
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, info.spec.rate, info.spec.channels};
    if (failure) *failure = AudioCaptureFailure::none;
    return std::make_unique<FloatCapture>(*this, info.name, spec, info.map);
}

std::optional<double> PulseAudioInput::defaultInputVolume() {
    if (!loop_) return std::nullopt;
    pa_threaded_mainloop_lock(loop_);
    std::optional<double> volume;
    SourceInfo info;
    if (readyContextLocked() == 0 && sourceInfoLocked("@DEFAULT_SOURCE@", &info)) volume = info.volume;
    pa_threaded_mainloop_unlock(loop_);
    return volume;
}

}  // namespace murmelo::linuxdesktop
