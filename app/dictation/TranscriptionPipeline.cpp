#include "dictation/TranscriptionPipeline.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "cleanup/SmartCleanupMode.h"
#include "cleanup/SmartCleanupShadowMonitor.h"
#include "diagnostics/Health.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationTiming.h"
#include "dictation/ModelCatalog.h"
#include "dictation/RecognitionLanguage.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingHold.h"
#include "dictation/Recordings.h"
#include "dictation/ServerManager.h"
#include "dictation/SherpaEngine.h"
#include "dictation/SpeechMarks.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "dictation/WhisperRequest.h"
#include "input/DictationDelivery.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyStats.h"
#include "ui/AppState.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThreadPool>
#include <cmath>
#include <memory>

namespace murmelo {
namespace {

constexpr double BYTES_PER_SECOND = 32000;
constexpr qsizetype SUBSTANTIAL_BYTES = 96000;

// Everything one dictation carries from the press to its end.
struct Dictation {
    QString path;
    std::optional<DictationContext> context;
    std::optional<ReplyTarget> replyTarget;
    bool commandMode = false;
    std::function<void(DictationVisualCompletion)> completion;
    bool keepRecordings = false;
    QByteArray audio;
    double seconds = 0;
    QDateTime startDate;
    QUrl endpoint;
    QString boundary;
    QList<FormField> fields;
    std::function<HttpResult(const QUrl&, const QByteArray&, const QByteArray&)> post;
    bool completed = false;

    void complete(DictationVisualCompletion outcome) {
        if (completed) return;
        completed = true;
        completion(outcome);
    }
};
using DictationPtr = std::shared_ptr<Dictation>;

QString f1(double v) { return QString::asprintf("%.1f", v); }
QString f4(double v) { return QString::asprintf("%.4f", v); }
QString fileName(const QString& path) { return QFileInfo(path).fileName(); }
DictationNeighbours& neighbours() { return DictationNeighbours::shared(); }

void background(std::function<void()> job) { QThreadPool::globalInstance()->start(std::move(job)); }

// Keeps the recording for good, holds it for the rollback window, or deletes it.
void cleanup(const DictationPtr& d) {
    if (d->keepRecordings)
        if (const auto kept = Recordings::keep(d->path)) {
            logTrace([&] { return QStringLiteral("запись сохранена для замера: ") + fileName(*kept); });
            return;
        }
    if (const auto held = RecordingHold::hold(d->path)) {
        logTrace([&] {
            return QStringLiteral("запись удержана на ") + QString::number(qint64(RecordingHold::seconds())) +
                   QStringLiteral(" с: ") + fileName(*held);
        });
        return;
    }
    QFile::remove(d->path);
}

// A failure that keeps the recording where it is, for a later look.
void failRecognition(const DictationPtr& d, const QString& message) {
    MainQueue::shared().post([d, message] {
        logLine(QStringLiteral("Recognition failed: ") + message + QStringLiteral("; audio retained: ") + d->path);
        DictationTiming::shared().abandon();
        Health::note(Health::Event::lost);
        d->complete(DictationVisualCompletion::idle);
        AppState::shared().transcribeFailed();
    });
}

void lostRecording(const DictationPtr& d) {
    const QFileInfo info(d->path);
    const QString state = info.exists() ? QStringLiteral("есть, ") + QString::number(info.size()) + QStringLiteral(" байт")
                                        : QStringLiteral("отсутствует");
    logLine(QStringLiteral("⚠ ЗАПИСЬ ПОТЕРЯНА: файл ") + state + QStringLiteral(" (") + fileName(d->path) +
            QStringLiteral("), устройство: ") + AudioRoute::currentInputName() +
            QStringLiteral(" — речь не восстановить, пересобираю рекордер"));
    DictationTiming::shared().abandon();
    Health::note(Health::Event::lost);
    MainQueue::shared().post([] { recorder().forceRebuild(); });
    neighbours().addToHistory(SILENCE_MARK);
    cleanup(d);
    d->complete(DictationVisualCompletion::idle);
    AppState::shared().captureFailed();
}

struct Result {
    std::optional<QByteArray> data;
    // Bytes arrived without an error but are not a reply (not a JSON object).
    bool unreadable = false;
    std::optional<SpeechMarks> marks;
    bool serverGone = false;
    int errorCode = 0;
    QString error;  // the transport error's description; empty when there was none
    qint64 ms = 0;
    int attempt = 0;
    std::function<void(int)> retry;
};

void evaluate(const DictationPtr& d, Result r, const QString& text, const QString& raw);

QString refusedLine(qint64 bound, const char* unit) {
    return QStringLiteral("ответ распознавания больше ") + QString::number(bound) + QLatin1Char(' ') +
           QString::fromUtf8(unit) + QStringLiteral(" — отклонён, не вставляю");
}

// Any thread: reads the reply, then judges it on the main thread. Everything that reads the
// reply's JSON happens here, off the main thread.
void handle(const DictationPtr& d, Result r) {
    QString text, raw;
    if (r.data && r.error.isEmpty()) {
        if (r.data->size() > MAX_REPLY_BYTES) return failRecognition(d, refusedLine(MAX_REPLY_BYTES, "байт"));
        ReplyReading reading = readReply(*r.data);
        if (reading.text.size() > MAX_REPLY_CHARACTERS || reading.raw.size() > MAX_REPLY_CHARACTERS)
            return failRecognition(d, refusedLine(MAX_REPLY_CHARACTERS, "символов"));
        text = std::move(reading.text);
        raw = std::move(reading.raw);
        r.unreadable = !reading.readable;
    }
    r.marks = speechMarks(r.data);
    MainQueue::shared().post([d, r = std::move(r), text, raw] { evaluate(d, r, text, raw); });
}

// Background: one server request and its reading.
void send(const DictationPtr& d, const QByteArray& body, int attempt) {
    QElapsedTimer sent;
    sent.start();
    const HttpResult http = d->post(d->endpoint, WhisperRequest::contentType(d->boundary), body);
    Result r;
    r.ms = sent.elapsed();
    DictationTiming::shared().mark(QStringLiteral("whisper"));
    if (http.tooLarge) return failRecognition(d, refusedLine(MAX_REPLY_BYTES, "байт"));
    if (http.responded) {
        r.data = http.body;
        if (http.status < 200 || http.status > 299)
            r.error = QStringLiteral("сервер распознавания ответил HTTP ") + QString::number(http.status);
    } else {
        r.error = http.error.isEmpty() ? QStringLiteral("нет ответа") : http.error;
        r.serverGone = http.serverGone();
        r.errorCode = http.networkError;
    }
    r.attempt = attempt;
    r.retry = [d, body](int n) { background([d, body, n] { send(d, body, n); }); };
    handle(d, std::move(r));
}

void routeRecognizedText(const DictationPtr& d, const QString& text, const std::optional<QByteArray>& reply);

void failureTail(const DictationPtr& d, const QString& entry) {
    neighbours().addToHistory(entry);
    d->complete(DictationVisualCompletion::idle);
    AppState::shared().transcribeFailed();
}

void evaluate(const DictationPtr& d, Result r, const QString& text, const QString& raw) {
    logLine(QStringLiteral("обработка: ") + QString::number(r.ms) + QStringLiteral(" мс на ") + f1(d->seconds) +
            QStringLiteral(" с аудио"));
    const std::optional<SpeechMarks>& marks = r.marks;
    DictationTiming::shared().mark(QStringLiteral("разбор"));
    if (marks) logLine(marks->line());

    const qsizetype chars = text.size();
    const bool suspicious = !text.isEmpty() && d->seconds > 20 &&
                            (2 * d->seconds > double(chars) || isRepetitiveGarbage(text));
    const bool unsureLanguage = !text.isEmpty() && marks && marks->langp >= 0 && marks->langp < LANGP_FLOOR;
    const bool flagged = suspicious || unsureLanguage;
    const qsizetype audioBytes = d->audio.size();
    const qint64 kb = audioBytes / 1024;

    if (r.attempt == 0 && r.retry) {
        if (!flagged && text.isEmpty() && raw.isEmpty() && audioBytes > SUBSTANTIAL_BYTES && !r.serverGone) {
            Health::note(Health::Event::retry);
            DictationTiming::shared().note(QStringLiteral("РЕТРАЙ: пустой ответ на существенном аудио — второй прогон whisper целиком"));
            logLine(QStringLiteral("⚠ существенная запись (") + QString::number(kb) +
                    QStringLiteral("КБ) вернулась пусто — авто-ретрай того же запроса"));
            MainQueue::shared().after(0.2, [retry = r.retry] { retry(1); });
            return;
        }
        if (r.serverGone) {
            DictationTiming::shared().note(QStringLiteral("САЙДКАР УМЕР: подъём + ожидание порта + второй прогон"));
            logLine(QStringLiteral("⚠ whisper-server не ответил (") + QString::number(r.errorCode) + QStringLiteral(") — ") +
                    QStringLiteral("поднимаю сайдкар и повторяю запрос"));
            neighbours().reviveServer();
            background([retry = r.retry, wait = neighbours().waitServerReady] {
                const bool ready = wait(8);
                MainQueue::shared().post([retry, ready] {
                    if (!ready) logLine(QStringLiteral("whisper-server не поднялся за 8с — повтор всё равно шлю"));
                    retry(1);
                });
            });
            return;
        }
    }

    if (flagged) {
        const QString reason =
            unsureLanguage ? QString::asprintf("язык распознан неуверенно (langp=%.2f < %.2f) — речи, вероятно, не было",
                                               marks->langp, LANGP_FLOOR)
                           : QStringLiteral("текст не похож на речь такой длины");
        logLine(QStringLiteral("⚠ ПОДОЗРИТЕЛЬНО на ") + QString::asprintf("%.0f", d->seconds) + QStringLiteral("с аудио, ") +
                reason + QStringLiteral(": ") + priv(text) +
                QStringLiteral(" — НЕ вставляю (вероятно галлюцинация Whisper), но кладу в историю + аудио СОХРАНЕНО: ") +
                d->path);
        Health::note(Health::Event::suspicious);
        failureTail(d, raw.isEmpty() ? text : raw);
        return;
    }
    if (!text.isEmpty()) {
        Health::note(Health::Event::dictation);
        logLine(QStringLiteral("распознано: ") + priv(text));
        neighbours().addToHistory(text);
        routeRecognizedText(d, text, r.data);
        return;
    }
    const QString unreadable = QStringLiteral("ответ распознавания не прочитан (") +
                               QString::number(r.data ? r.data->size() : 0) + QStringLiteral(" байт, не JSON-объект)");
    if (audioBytes <= SUBSTANTIAL_BYTES) {
        if (raw.isEmpty()) {
            Health::note(Health::Event::empty);
            logLine(QStringLiteral("пусто/ошибка (коротко): ") +
                    (!r.error.isEmpty() ? r.error : r.unreadable ? unreadable : QStringLiteral("нет текста")));
            if (r.unreadable) {
                // Something answered, but not with a reply: the speech was never read.
                logLine(QStringLiteral("аудио СОХРАНЕНО: ") + d->path);
                failureTail(d, UNREADABLE_MARK);
                return;
            }
            if (!r.data) {
                // No answer came at all (the server is down): the speech was never heard, so
                // this is a failure, and the recording stays for a later look.
                logLine(QStringLiteral("аудио СОХРАНЕНО: ") + d->path);
                failureTail(d, SILENCE_MARK);
                return;
            }
            neighbours().addToHistory(SILENCE_MARK);
        } else {
            logLine(QStringLiteral("отфильтровано при вставке (коротко): ") + priv(raw) + QStringLiteral(" — в историю"));
            neighbours().addToHistory(raw);
        }
        cleanup(d);
        d->complete(DictationVisualCompletion::idle);
        return;
    }
    const QString detail = !raw.isEmpty()   ? QStringLiteral("только филлер/мусор ") + priv(raw)
                           : r.unreadable ? unreadable
                                          : QStringLiteral("пусто");
    logLine(QStringLiteral("⚠ существенная запись (") + QString::number(kb) + QStringLiteral("КБ, ") + f1(d->seconds) +
            QStringLiteral("с) не вставлена: ") + detail + QStringLiteral(" — аудио СОХРАНЕНО: ") + d->path);
    DictationTiming::shared().abandon();
    Health::note(Health::Event::lost);
    failureTail(d, !raw.isEmpty() ? raw : r.unreadable ? UNREADABLE_MARK : SILENCE_MARK);
}

// Background: the in-process transducer; never repeated.
void transducer(const DictationPtr& d, const ModelChoice& model) {
    const auto dir = ServerManager::shared().sherpaModelDir(model);
    if (!dir) return failRecognition(d, QStringLiteral("Parakeet model is unavailable"));
    const auto samples = SherpaEngine::pcmSamples(d->audio);
    if (!samples) return failRecognition(d, QStringLiteral("Parakeet input is not supported PCM WAV"));
    const auto text = SherpaEngine::shared().transcribe(samples->samples, samples->sampleRate, *dir);
    if (!text) return failRecognition(d, QStringLiteral("Parakeet inference failed"));
    Result r;
    r.ms = qint64(std::llround(d->startDate.msecsTo(Clock::shared().now())));
    DictationTiming::shared().mark(QStringLiteral("Parakeet"));
    r.data = SherpaEngine::completionPayload(*text);
    r.attempt = 1;
    handle(d, std::move(r));
}

void routeRecognizedText(const DictationPtr& d, const QString& text, const std::optional<QByteArray>& reply) {
    DictationNeighbours& n = neighbours();
    const std::optional<ReplyCommand> command =
        d->commandMode ? n.replyTriggerByKey(text)
                       : n.replyTriggerDetect(text, d->replyTarget ? std::optional<QString>(d->replyTarget->bundleID)
                                                                   : std::nullopt);
    if (command) {
        logLine(QStringLiteral("Команда (") + (d->commandMode ? QStringLiteral("Control") : QStringLiteral("голос")) +
                QStringLiteral(", ") + rawValue(command->kind) + QStringLiteral("): ") +
                QStringLiteral("надиктовка в поле не вставляется"));
        cleanup(d);
        d->complete(DictationVisualCompletion::continues);
        n.screenReplyStart(*command, d->replyTarget);
        return;
    }

    const bool addressed = n.bridgeIsAddressed(text);
    n.bridgeRouteIfAddressed(text, [d, text, reply, addressed](bool delivered) {
        DictationNeighbours& n = neighbours();
        if (delivered) {
            cleanup(d);
            d->complete(DictationVisualCompletion::succeeded);
            return;
        }
        if (addressed) {
            // The companion did not take it: the text goes in as spoken, addressing word included.
            pasteText(text, TextWriteOrigin::dictation);
            DictationTiming::shared().finish(QStringLiteral("вставка"));
            cleanup(d);
            d->complete(DictationVisualCompletion::succeeded);
            return;
        }
        const SmartCleanupMode mode = currentSmartCleanupMode();
        const std::optional<QString> language = detectedLanguage(reply);
        const PreparedDictation prepared = n.prepareDictationForDelivery(text, d->context, mode, language);
        const QString out = n.polish.rewriteGuardAccept(prepared.learnedText, prepared.outputText, QStringLiteral("Smart Cleanup"));
        DictationTiming::shared().mark(QStringLiteral("чистка"));
        SmartCleanupShadowMonitor::shared().observe(prepared.learnedText, mode, out);
        if (!prepared.changes.isEmpty()) {
            QStringList rules;
            for (const SmartCleanupTrace& t : prepared.cleanupTrace)
                if (!rules.contains(t.ruleID.rawValue)) rules << t.ruleID.rawValue;
            logLine(QStringLiteral("Smart Cleanup: ") + prepared.changes.join(QLatin1Char(',')) + QStringLiteral(" [") +
                    rules.join(QLatin1Char(',')) + QStringLiteral("] (") + QString::number(text.size()) +
                    QStringLiteral("→") + QString::number(out.size()) + QStringLiteral(" симв., ") +
                    SmartCleanupModes::rawValue(mode) + QStringLiteral(")"));
        }
        n.learningRecordLast(text, out, d->context, mode);
        n.deliverDictation(out);
        DictationTiming::shared().finish(QStringLiteral("вставка"));
        d->complete(DictationVisualCompletion::succeeded);

        QElapsedTimer bookkeeping;
        bookkeeping.start();
        const double speech = speechWorkSeconds(reply, d->seconds);
        MonthlyStats::noteDictation(out, d->seconds, speech,
                                    double(d->startDate.msecsTo(Clock::shared().now())) / 1000.0);
        cleanup(d);
        const qint64 ms = bookkeeping.elapsed();
        if (ms > 50)
            logLine(QStringLiteral("учёт после вставки занял ") + QString::number(ms) + QStringLiteral(" мс — на столько ") +
                    QStringLiteral("раньше теперь убирается капля"));
    });
}

}  // namespace

void transcribeAndPaste(const StoppedTake& take, std::function<void(DictationVisualCompletion)> completion) {
    auto d = std::make_shared<Dictation>();
    d->path = take.path;
    d->context = take.context;
    d->replyTarget = take.replyTarget;
    d->commandMode = take.commandMode;
    d->completion = std::move(completion);

    const std::optional<ModelChoice> model = currentModel();
    const std::optional<QString> lang = RecognitionLanguage::requestField();
    if (model && !model->acceptsRecognitionLanguage(lang)) {
        failRecognition(d, QStringLiteral("Parakeet cannot honor pinned language ") + lang.value_or(QString()));
        return;
    }
    d->keepRecordings = Defaults::shared().boolValue(Recordings::KEY);

    QFile file(d->path);
    if (!file.open(QIODevice::ReadOnly)) return lostRecording(d);
    d->audio = file.readAll();
    file.close();
    if (d->audio.isEmpty()) return lostRecording(d);

    // The trim travels with the take, so it is used (and gone) here whether or not it cut.
    if (take.trimSeconds)
        if (const auto trimmed = trimWavToSeconds(d->audio, *take.trimSeconds)) {
            const double before = double(d->audio.size()) / BYTES_PER_SECOND;
            const double after = double(trimmed->size()) / BYTES_PER_SECOND;
            const double cut = before - after;
            logLine(QStringLiteral("запись: отрезан хвост ") + f1(cut) + QStringLiteral(" с — его записали, пока ") +
                    QStringLiteral("stopRec ждал главный поток (было ") + f1(before) + QStringLiteral(" с, стало ") +
                    f1(after) + QStringLiteral(" с)"));
            DictationTiming::shared().note(QStringLiteral("ОБРЕЗАН ХВОСТ ") + f1(cut) + QStringLiteral(" с"));
            d->audio = *trimmed;
        }

    DictationTiming::shared().mark(QStringLiteral("файл"));
    MainQueue::shared().post([] { recorder().prime(); });

    const AudioLevels levels = audioLevels(d->audio);
    const float peak = levels.peak;
    const double ratio = levels.mean > 0 ? double(levels.peak) / double(levels.mean) : 0;
    const QString measures = QStringLiteral("peak=") + f4(peak) + QStringLiteral(", средн=") + f4(levels.mean) +
                             QStringLiteral(", разброс=") + f1(ratio);
    if (peak >= QUIET_PEAK_FLOOR && peak < SILENCE_PEAK) {
        logLine(QStringLiteral("тихая запись (") + measures + QStringLiteral(") — отправляю, решать будет Whisper"));
    } else if (peak < DEAD_CAPTURE_PEAK) {
        logLine(QStringLiteral("⚠ МЁРТВЫЙ ЗАХВАТ (peak=") + f4(peak) + QStringLiteral(", ") +
                QString::number(d->audio.size() / 1024) + QStringLiteral("КБ, устройство: ") +
                AudioRoute::currentInputName() + QStringLiteral(") — мик не отдал сэмплов, пересобираю рекордер"));
        DictationTiming::shared().abandon();
        MainQueue::shared().post([] { recorder().forceRebuild(); });
        neighbours().addToHistory(SILENCE_MARK);
        cleanup(d);
        d->complete(DictationVisualCompletion::idle);
        AppState::shared().captureFailed();
        return;
    } else if (peak < QUIET_PEAK_FLOOR) {
        logLine(QStringLiteral("тишина (") + measures + QStringLiteral(") — пропуск"));
        DictationTiming::shared().abandon();
        neighbours().addToHistory(SILENCE_MARK);
        cleanup(d);
        d->complete(DictationVisualCompletion::idle);
        return;
    }

    d->boundary = WhisperRequest::boundary(QStringLiteral("Boundary-kelpor-"));
    d->endpoint = neighbours().recognitionEndpoint();
    d->post = neighbours().postRecognition;
    d->fields = WhisperRequest::dictationFields(neighbours().dictationPrompt(d->context), lang);
    d->seconds = double(d->audio.size()) / BYTES_PER_SECOND;
    d->startDate = Clock::shared().now();
    if (!d->endpoint.isValid()) {
        failRecognition(d, QStringLiteral("recognition endpoint is not a URL: ") + d->endpoint.toString());
        return;
    }

    if (model && model->engine == ASREngine::sherpa) {
        background([d, m = *model] { transducer(d, m); });
        return;
    }
    background([d] {
        const QByteArray body = WhisperRequest::multipartBody(d->boundary, QStringLiteral("rec.wav"), d->audio, d->fields);
        DictationTiming::shared().mark(QStringLiteral("сборка"));
        send(d, body, 0);
    });
}

}  // namespace murmelo
