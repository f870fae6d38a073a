#include "meetings/MeetingSpeakerTrack.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "meetings/MeetingAudioSource.h"
#include "meetings/MeetingParticipants.h"
#include "platform/Accessibility.h"
#include "platform/MainQueue.h"
#include "reply/WindowOCR.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>
#include <mutex>

namespace murmelo::MeetingSpeakerTrack {

namespace {

// Shared by the main thread (start, stop) and the queue (ticks, writes). Each start opens a
// new generation: a tick or a recognition that belongs to an older one writes nothing.
struct State {
    std::mutex mutex;
    quint64 generation = 0;
    std::optional<MeetingStore::Folder> folder;
    double started = 0;
    QString lastSweep;
    double lastOCR = -std::numeric_limits<double>::infinity();
    qint64 bytes = 0;
    bool capped = false;
};

State& state() {
    static State* s = new State;  // read by the queue's worker, which outlives every owner
    return *s;
}

TimerHandle g_timer;  // main thread only

double now() { return Clock::shared().uptime(); }

double rounded(double seconds) { return std::round(seconds * 10.0) / 10.0; }

// Appends one record to the generation's file, unless the generation is over or capped.
void append(quint64 generation, const QJsonObject& record) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (generation != s.generation || !s.folder || s.capped) return;
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    QFile file(s.folder->file(FILE));
    // A new file is the user's alone from its first byte.
    const bool opened = file.exists() ? file.open(QIODevice::WriteOnly | QIODevice::Append)
                                      : file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (opened) {
        file.write(line);
        file.close();
    }
    s.bytes += line.size();
    if (s.bytes >= MAX_BYTES) {
        s.capped = true;
        logLine(QStringLiteral("⚠ встреча/дорожка: потолок ") + QString::number(MAX_BYTES / 1048576) +
                QStringLiteral(" МБ достигнут - ") +
                QStringLiteral("дальше не пишу, запись разговора важнее телеметрии о ней"));
    }
}

void tick(quint64 generation) {
    State& s = state();
    double started = 0;
    {
        std::lock_guard lock(s.mutex);
        if (generation != s.generation || !s.folder || s.capped) return;
        started = s.started;
    }
    const std::optional<qint64> pid = MeetingAudioSource::callAppPID();
    if (!pid) return;
    const double at = now();
    const double t = rounded(at - started);
    const QString text = sweep(qint32(*pid));
    bool changed = false;
    bool recognise = false;
    {
        std::lock_guard lock(s.mutex);
        if (generation != s.generation) return;
        if (!text.isEmpty() && text != s.lastSweep) {
            s.lastSweep = text;
            changed = true;
        }
        if (at - s.lastOCR >= OCR_PERIOD) {
            s.lastOCR = at;
            recognise = true;
        }
    }
    if (changed) append(generation, {{QStringLiteral("at"), t}, {QStringLiteral("kind"), QStringLiteral("ax")}, {QStringLiteral("tree"), text}});
    if (!recognise) return;
    WindowOCR::recognizeText(qint32(*pid), MeetingParticipants::CALL_WINDOW_TITLES(),
                             [generation, t](std::optional<QString> recognised, std::optional<WindowOCR::Failure>) {
                                 if (!recognised) return;
                                 const QString cut = graphemes(*recognised).mid(0, OCR_TEXT_LIMIT).join(QString());
                                 queue().async([generation, t, cut] {
                                     append(generation, {{QStringLiteral("at"), t},
                                                         {QStringLiteral("kind"), QStringLiteral("ocr")},
                                                         {QStringLiteral("text"), cut}});
                                 });
                             });
}

void arm(quint64 generation) {
    g_timer = MainQueue::shared().after(AX_PERIOD, [generation] {
        queue().async([generation] { tick(generation); });
        arm(generation);
    });
}

QString trimmedText(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return {};
    QString s = value.toString();
    qsizetype from = 0, to = s.size();
    while (from < to && (s[from] == u' ' || s[from] == u'\t')) ++from;
    while (to > from && (s[to - 1] == u' ' || s[to - 1] == u'\t')) --to;
    return s.mid(from, to - from);
}

}  // namespace

bool isEnabled() { return Defaults::shared().boolValue(SETTING); }

SerialQueue& queue() {
    static SerialQueue* q = new SerialQueue;  // its worker lives as long as the process
    return *q;
}

void start(const MeetingStore::Folder& folder) {
    if (!isEnabled()) return;
    if (!Accessibility::shared().isProcessTrusted()) {
        logLine(QStringLiteral("встреча/дорожка: нет прав Универсального доступа - дорожку не собираю"));
        return;
    }
    stop();
    quint64 generation = 0;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        generation = ++s.generation;
        s.folder = folder;
        s.started = now();
        s.lastSweep.clear();
        s.lastOCR = -std::numeric_limits<double>::infinity();
        s.bytes = 0;
        s.capped = false;
    }
    arm(generation);
    logLine(QStringLiteral("встреча/дорожка: собираю, кто когда говорит (опрос ") + QString::number(int(AX_PERIOD)) +
            QStringLiteral(" с, ") + QStringLiteral("снимок ") + QString::number(int(OCR_PERIOD)) +
            QStringLiteral(" с) - ") + FILE);
}

void stop() {
    g_timer.cancel();
    g_timer.reset();
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.folder && s.bytes > 0)
        logLine(QStringLiteral("встреча/дорожка: записано ") + QString::number(s.bytes / 1024) + QStringLiteral(" КБ в ") +
                s.folder->name() + QLatin1Char('/') + FILE);
    s.folder.reset();
    ++s.generation;
}

QString sweep(qint32 pid) {
    Accessibility& ax = Accessibility::shared();
    const AXElementPtr app = ax.applicationElement(pid);
    if (!app) return {};
    ax.setMessagingTimeout(*app, float(SWEEP_BUDGET));
    AXElementPtr window = ax.windowOf(*app, Accessibility::WindowKind::focused);
    if (!window) window = ax.windowOf(*app, Accessibility::WindowKind::main);
    if (!window) return {};

    const double deadline = now() + SWEEP_BUDGET;
    int visited = 0;
    QStringList lines;
    std::function<void(const AXElementPtr&, int)> walk = [&](const AXElementPtr& el, int depth) {
        if (depth >= MAX_DEPTH || visited >= MAX_NODES || now() >= deadline) return;
        ++visited;
        if (AXText::isSecure(el)) return;
        QString role = AXText::role(el);
        if (role.isEmpty()) role = QStringLiteral("?");
        QStringList parts{role};
        for (const QString& name : {QStringLiteral("AXTitle"), QStringLiteral("AXDescription"), QStringLiteral("AXHelp")})
            if (const QString text = trimmedText(AXText::attr(el, name)); !text.isEmpty()) parts << text;
        for (const QString& flag : {QStringLiteral("AXSelected"), QStringLiteral("AXFocused")})
            if (const QVariant v = AXText::attr(el, flag); v.typeId() == QMetaType::Bool && v.toBool())
                parts << flag.mid(2) + QStringLiteral("=1");
        if (parts.size() > 1) lines << parts.join(QLatin1Char('|'));
        for (const AXElementPtr& child : ax.children(*el)) walk(child, depth + 1);
    };
    walk(window, 0);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace murmelo::MeetingSpeakerTrack
