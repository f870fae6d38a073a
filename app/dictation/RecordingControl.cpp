#include "dictation/RecordingControl.h"

#include "base/Log.h"
#include "diagnostics/MainStallWatch.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationPause.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "input/AXText.h"
#include "input/HotkeyDef.h"
#include "input/InputEventFlightRecorder.h"
#include "input/SecureInput.h"
#include "input/TapConsumers.h"
#include "platform/MainQueue.h"
#include "platform/ModifierFlags.h"
#include "platform/Workspace.h"
#include "ui/AppState.h"

#include <QFile>
#include <QIcon>
#include <QLocale>
#include <memory>

namespace murmelo {
namespace {

// What a press described; taken by the stop, from then on it travels with the take.
struct Press {
    bool command = false;
    std::optional<DictationContext> context;
    std::optional<ReplyTarget> replyTarget;
};

// The stop scheduled for the end of the tail; runs once, early (a new press) or on time.
struct PendingStop {
    bool ran = false;
    TimerHandle timer;
    std::function<void()> body;
};

struct State {
    bool recording = false;
    Press pending;
    std::shared_ptr<PendingStop> pendingStop;
    // Key-release watchdog.
    TimerHandle keyWatchdog;
    quint64 watchdogGeneration = 0;
    int keyWatchdogMisses = 0;
    bool keyWatchdogSawHeld = false;
    quint64 dictationMask = 0;
    std::optional<quint64> commandMask;
};

State& state() {
    static State s;
    return s;
}

void addSilenceToHistory() { DictationNeighbours::shared().addToHistory(SILENCE_MARK); }

void takeLost(const QString& why) {
    DictationTiming::shared().abandon();
    logLine(QStringLiteral("⚠ ЗАПИСЬ ПОТЕРЯНА: ") + why + QStringLiteral(", устройство: ") + AudioRoute::currentInputName());
    addSilenceToHistory();
    AppState::shared().captureFailed();
}

void runPendingStop(const std::shared_ptr<PendingStop>& stop) {
    if (stop->ran) return;
    stop->ran = true;
    if (state().pendingStop == stop) state().pendingStop.reset();
    stop->body();
}

// The tail is over: stop the recorder, wait for the file's final header, hand it on.
void finishTake(const Press& press, std::optional<double> trimSeconds, quint64 timing) {
    DictationTiming::shared().mark(QStringLiteral("хвост"));
    const auto take = recorder().stop();
    if (!take) {
        takeLost(QStringLiteral("рекордер не отдал файл"));
        return;
    }
    StoppedTake stopped{take->url, press.context, press.replyTarget, press.command, trimSeconds, timing};
    whenWavReady(take->url, [stopped] {
        DictationTiming::shared().mark(QStringLiteral("пауза"));
        const bool command = stopped.commandMode;
        const quint64 timing = stopped.timing;
        DictationNeighbours::shared().transcribeAndPaste(stopped, [command, timing](DictationVisualCompletion outcome) {
            switch (outcome) {
            case DictationVisualCompletion::idle: AppState::shared().idle(); break;
            case DictationVisualCompletion::succeeded: AppState::shared().succeeded(command); break;
            case DictationVisualCompletion::continues: break;
            }
            // Every end of a dictation closes its timing, and with it the activity: a path
            // that reported its outcome without finishing or abandoning the measurement
            // (in this turn of the main queue) must not leave the activity to the fuse.
            MainQueue::shared().post([timing] { DictationTiming::shared().abandonIfOpen(timing); });
        });
    });
}

bool hotkeyHeld(quint64 flags) {
    const State& s = state();
    if (s.dictationMask != 0 && (flags & s.dictationMask) == s.dictationMask) return true;
    return s.commandMask && *s.commandMask != 0 && (flags & *s.commandMask) == *s.commandMask;
}

// The readings run on the main queue: the state needs no lock, and a reading that finds
// the key up hands the stop to the queue all the same.
void watchdogReading(quint64 generation) {
    State& s = state();
    if (generation != s.watchdogGeneration || !s.keyWatchdog.isValid()) return;
    if (hotkeyHeld(ModifierFlags::shared().current())) {
        s.keyWatchdogSawHeld = true;
        s.keyWatchdogMisses = 0;
    } else if (s.keyWatchdogSawHeld) {
        if (++s.keyWatchdogMisses >= KEY_WATCHDOG_MISSES) {
            s.keyWatchdog.cancel();
            s.keyWatchdog.reset();
            // This moment is the release, for the trim and the timing.
            DictationTiming::shared().noteKeyUp();
            logLine(QStringLiteral("⚠ сторож клавиши: запись идёт, а клавиша уже отпущена — событие об отпускании не "
                                   "пришло или stopRec ждёт очереди. Останавливаю сам"));
            MainQueue::shared().post([] { stopRec(); });
            return;
        }
    } else {
        s.keyWatchdog.cancel();
        s.keyWatchdog.reset();
        logLine(QStringLiteral("сторож клавиши выключен: ") + activeHotkey().name + QStringLiteral(" не читается как зажатая ") +
                QStringLiteral("(flagsState её не отдаёт) — сторожить нечем, запись не трогаю"));
        return;
    }
    s.keyWatchdog = MainQueue::shared().after(KEY_WATCHDOG_EVERY, [generation] { watchdogReading(generation); });
}

class RecordingTapDictation : public TapDictation {
public:
    void startRec(bool command) override { murmelo::startRec(command); }
    void stopRec() override { murmelo::stopRec(); }
    void noteKeyUp() override { DictationTiming::shared().noteKeyUp(); }
};

}  // namespace

bool isRecording() { return state().recording; }

void startRec(bool command) {
    State& s = state();
    if (s.recording) return;
    DictationNeighbours& neighbours = DictationNeighbours::shared();
    if (neighbours.deferVoiceInputUntilModelReady()) return;
    InputEventFlightRecorder::shared().dump(command ? QStringLiteral("command-hotkey") : QStringLiteral("dictation-hotkey"),
                                            Clock::shared().now());
    if (DictationPause::isActive()) {
        logLine(QStringLiteral("нажатие проигнорировано: диктовка на паузе, осталось ") +
                QString::number(DictationPause::minutesLeft()) + QStringLiteral(" мин"));
        return;
    }
    if (auto stop = s.pendingStop) {
        s.pendingStop.reset();
        runPendingStop(stop);
        stop->timer.cancel();
    }
    if (const AXElementPtr focused = AXText::focused(); focused && AXText::isSecure(focused)) {
        logLine(QStringLiteral("нажатие проигнорировано: поле парольное — запись не начинается (HC-02)"));
        return;
    }
    if (SecureInput::flagActive())
        logLine(QStringLiteral("скрытый ввод активен - запись идёт, вставка будет решена по полю под кареткой"));

    s.pending = Press{command, DictationContext::current(), neighbours.replyTargetCurrent()};
    const auto& context = s.pending.context;
    if (context) {
        const bool own = neighbours.appHasOwnVocab(context->bundleID);
        logLine(QStringLiteral("приложение: ") + context->appName + QStringLiteral(" [") + context->bundleID +
                QStringLiteral("]") + (own ? QStringLiteral(", свой словарь") : QString()));
        neighbours.appVocabNoteUse(context);
    }

    s.recording = true;
    neighbours.polish.cancelPolishLive();
    recorder().start();

    QString appName = QStringLiteral("?");
    if (context) appName = context->appName;
    else if (const auto front = Workspace::shared().frontmostApplication()) appName = front->localizedName;

    // The desktop gives no application icons to this layer; the indicators show the name.
    if (command) AppState::shared().recordingQuickReply();
    else AppState::shared().recording(appName, QIcon());

    QString line = QStringLiteral("=== старт записи ===");
    if (command) {
        const auto& commandHotkey = activeCommandHotkey();
        line += QStringLiteral(" (команда, ") + (commandHotkey ? commandHotkey->name : QStringLiteral("?")) + QStringLiteral(")");
    }
    logLine(line + QStringLiteral(" → ") + appName);

    DictationActivity::begin();
    MainStallWatch::setBusy(true);
    startKeyReleaseWatchdog();
}

void stopRec() {
    State& s = state();
    if (!s.recording) return;
    s.recording = false;
    MainStallWatch::setBusy(false);
    stopKeyReleaseWatchdog();

    const quint64 timing = DictationTiming::shared().begin();
    const Press press = std::exchange(s.pending, Press{});

    const auto start = recorder().startTime();
    if (!start) {
        takeLost(QStringLiteral("рекордер не помнит её начала (startTime пуст)"));
        return;
    }
    const double held = double(start->msecsTo(Clock::shared().now())) / 1000.0;
    std::optional<double> trimSeconds;
    if (const auto keyUp = DictationTiming::shared().keyUpSince(*start)) trimSeconds = *keyUp + TAIL_PAD;

    if (held < MIN_DUR) {
        if (const auto take = recorder().stop()) QFile::remove(take->url);
        DictationTiming::shared().abandon();
        logLine(QStringLiteral("слишком коротко (") + QString::number(held, 'g', QLocale::FloatingPointShortest) +
                QStringLiteral("с) — пропуск"));
        if (DictationNeighbours::shared().screenReplyIsGenerating()) AppState::shared().generatingQuickReply();
        else AppState::shared().idle();
        return;
    }

    if (press.command) {
        DictationNeighbours::shared().screenReplyCancel();
        DictationNeighbours::shared().quickReplyPreviewCancel();
    }
    AppState::shared().transcribing(press.command);

    auto stop = std::make_shared<PendingStop>();
    stop->body = [press, trimSeconds, timing] { finishTake(press, trimSeconds, timing); };
    s.pendingStop = stop;
    std::weak_ptr<PendingStop> weak = stop;
    stop->timer = MainQueue::shared().after(TAIL_PAD, [weak] {
        if (auto stop = weak.lock()) runPendingStop(stop);
    });
}

void startKeyReleaseWatchdog() {
    State& s = state();
    s.keyWatchdog.cancel();
    s.keyWatchdog.reset();
    s.keyWatchdogMisses = 0;
    s.keyWatchdogSawHeld = false;
    s.dictationMask = activeHotkey().mask;
    const auto& command = activeCommandHotkey();
    s.commandMask = command ? std::optional<quint64>(command->mask) : std::nullopt;
    const quint64 generation = ++s.watchdogGeneration;
    s.keyWatchdog = MainQueue::shared().after(KEY_WATCHDOG_FIRST, [generation] { watchdogReading(generation); });
}

void stopKeyReleaseWatchdog() {
    State& s = state();
    s.keyWatchdog.cancel();
    s.keyWatchdog.reset();
    ++s.watchdogGeneration;
    s.keyWatchdogMisses = 0;
    s.keyWatchdogSawHeld = false;
}

namespace RecordingControl {

void installTapDictation() {
    static RecordingTapDictation tap;
    TapDictation::install(&tap);
}

bool hasPendingStop() { return state().pendingStop != nullptr; }

bool watchdogArmed() { return state().keyWatchdog.isPending(); }

void resetForTesting() {
    State& s = state();
    if (s.pendingStop) s.pendingStop->timer.cancel();
    s.keyWatchdog.cancel();
    s = State{};
}

}  // namespace RecordingControl
}  // namespace murmelo
