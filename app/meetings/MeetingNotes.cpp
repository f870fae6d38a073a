#include "meetings/MeetingNotes.h"

#include "ai/AIProvider.h"
#include "ai/CloudTransport.h"
#include "base/Bundle.h"
#include "base/DevPaths.h"
#include "base/Defaults.h"
#include "base/Format.h"
#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "meetings/MeetingTranscriber.h"
#include "platform/MainQueue.h"
#include "vocabulary/AppVocab.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>
#include <cmath>
#include <mutex>

namespace murmelo::MeetingNotes {
namespace {

std::mutex g_timeoutsMutex;
std::optional<std::pair<double, double>> g_testTimeouts;

std::optional<QString> readUtf8(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(file.readAll());
    if (decoder.hasError()) return std::nullopt;
    return text;
}

QString trimmedBlanks(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == QLatin1Char(' ') || text[from] == QLatin1Char('\t'))) ++from;
    while (to > from && (text[to - 1] == QLatin1Char(' ') || text[to - 1] == QLatin1Char('\t'))) --to;
    return text.mid(from, to - from);
}

// The whole percent of a share: the binary product of 0.29 and 100 lies just below 29.
qint64 wholePercent(double share) { return qint64(std::floor(share * 100.0 + 1e-9)); }

}  // namespace

QString rawValue(Kind kind) { return kind == Kind::notes ? QStringLiteral("notes") : QStringLiteral("summary"); }

std::optional<Kind> kindFromRaw(const QString& raw) {
    if (raw == QStringLiteral("notes")) return Kind::notes;
    if (raw == QStringLiteral("summary")) return Kind::summary;
    return std::nullopt;
}

QString title(Kind kind) {
    return kind == Kind::notes ? L(QStringLiteral("meeting.kind.notes"), QStringLiteral("Заметки"))
                               : L(QStringLiteral("meeting.kind.summary"), QStringLiteral("Резюме"));
}
QString fileName(Kind kind) { return kind == Kind::notes ? MeetingStore::NOTES : MeetingStore::SUMMARY; }
QString promptFile(Kind kind) {
    return kind == Kind::notes ? QStringLiteral("meeting-notes.prompt.md") : QStringLiteral("meeting-summary.prompt.md");
}
int maxOutput(Kind kind) { return kind == Kind::notes ? 4000 : 900; }

QString MODEL() { return MURMELO_AI_QUALITY_MODEL; }
QUrl endpoint() { return AIProvider::defaultUpstream(); }

QString Failure::description() const {
    switch (which) {
    case Case::notReady:
    case Case::transport:
    case Case::writeFailed:
        return text;
    case Case::api:
        return QStringLiteral("HTTP ") + QString::number(status) + QStringLiteral(": ") + text;
    case Case::noTranscript:
        return L(QStringLiteral("meeting.notes.err.transcript"), QStringLiteral("Нет расшифровки - заметки делать не из чего."));
    case Case::noPrompt:
        return L(QStringLiteral("meeting.notes.err.prompt"), QStringLiteral("Не найден файл промпта meeting-notes.prompt.md."));
    case Case::emptyAnswer:
        return L(QStringLiteral("meeting.notes.err.empty"), QStringLiteral("Модель вернула пустой ответ."));
    }
    return text;
}

qint64 Draft::characters() const { return graphemeCount(instructions) + graphemeCount(input); }

QString Draft::readable() const {
    return QStringLiteral("=== КУДА ===\n") + destination + QStringLiteral(", модель ") + MODEL() +
           QStringLiteral("\n\n=== ИНСТРУКЦИИ (") + QString::number(graphemeCount(instructions)) +
           QStringLiteral(" симв.) ===\n") + instructions + QStringLiteral("\n\n=== ТЕКСТ ВСТРЕЧИ (") +
           QString::number(graphemeCount(input)) + QStringLiteral(" симв.) ===\n") + input;
}

std::optional<QString> promptText(Kind kind) {
    const QString file = promptFile(kind);
    for (const QString& path : {Bundle::resourcePath(file), murmeloRepoPath(QStringLiteral("resources/") + file)}) {
        if (!QFileInfo(path).isFile()) continue;
        // The first copy found decides, readable or not.
        return readUtf8(path);
    }
    return std::nullopt;
}

Draft draft(const QString& transcript, const QString& prompt, const std::optional<MeetingStore::Meta>& meta, Kind kind) {
    QStringList lines;
    if (meta && meta->app) lines << QStringLiteral("Приложение: ") + *meta->app;
    if (meta) lines << QStringLiteral("Когда: ") + MeetingTranscriber::dateText(meta->started);
    if (meta && meta->seconds > 0) lines << QStringLiteral("Длительность: ") + MeetingTranscriber::durationText(meta->seconds);
    if (meta && !meta->nameCandidates.isEmpty())
        lines << QStringLiteral("В окне звонка были: ") + meta->nameCandidates.join(QStringLiteral(", ")) +
                     QStringLiteral(". Это список тех, ") + QStringLiteral("КТО БЫЛ, а не разметка «кто что сказал».");
    const QString vocabulary = customVocab().trimmed();
    if (!vocabulary.isEmpty())
        lines << QStringLiteral("Слова и названия, которые в этих разговорах звучат постоянно ") +
                     QStringLiteral("(правильное написание): ") + vocabulary;
    if (meta && meta->otherName && !meta->otherName->isEmpty())
        lines << QStringLiteral("Дальнюю сторону зовут: ") + *meta->otherName +
                     QStringLiteral(". Владельца записи называй «вы».");
    else
        lines << QStringLiteral("Имена участников неизвестны: владелец записи - «вы», все остальные - «собеседник». "
                                "Не угадывай имена.");
    if (meta && meta->micOnly)
        lines << QStringLiteral("Запись только с микрофона: речь собеседников могла попасть частично.");
    if (meta && meta->echoShare >= 0.1)
        lines << QStringLiteral("В записи было эхо колонок (") + QString::number(wholePercent(meta->echoShare)) +
                     QStringLiteral("% слов владельца) - ") + QStringLiteral("часть реплик могла продублироваться.");

    Draft d;
    d.instructions = prompt;
    d.input = lines.isEmpty() ? transcript : lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + transcript;
    d.payload.insert("model", MODEL());
    d.payload.insert("store", false);
    d.payload.insert("max_output_tokens", maxOutput(kind));
    d.payload.insert("reasoning", QJsonObject{{"effort", "medium"}});
    d.payload.insert("text", QJsonObject{{"verbosity", "medium"}});
    d.payload.insert("instructions", d.instructions);
    d.payload.insert("input", d.input);
    // The preview must name where the text really goes.
    const auto backend = AIProvider::route() == AIRoute::ownBackend ? AIProvider::backendURL() : std::nullopt;
    if (backend) {
        QString base = backend->toString();
        if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
        d.destination = base + BACKEND_PATH;
    } else {
        d.destination = endpoint().toString();
    }
    return d;
}

std::optional<Draft> draft(const MeetingStore::Folder& folder, Kind kind, Failure* failure) {
    const auto transcript = readUtf8(folder.transcript());
    if (!transcript || transcript->trimmed().isEmpty()) {
        if (failure) *failure = {Failure::Case::noTranscript, {}, 0};
        return std::nullopt;
    }
    const auto prompt = promptText(kind);
    if (!prompt) {
        if (failure) *failure = {Failure::Case::noPrompt, {}, 0};
        return std::nullopt;
    }
    return draft(*transcript, *prompt, MeetingStore::read(folder), kind);
}

bool cloudAllowed() {
    if (Defaults::shared().realBool(QStringLiteral("meetingNotesCloud")).value_or(false)) return true;
    return QCoreApplication::instance() && QCoreApplication::arguments().contains(QString::fromLatin1(SEND_ARGUMENT));
}

bool wasOffered(const MeetingStore::Folder& folder) {
    const auto meta = MeetingStore::read(folder);
    return meta && meta->notesOffered;
}

std::optional<QString> text(const QByteArray& body) {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject()) return std::nullopt;
    const QJsonValue output = doc.object().value("output");
    if (!output.isArray()) return std::nullopt;
    QString out;
    for (const QJsonValue& item : output.toArray()) {
        if (item.toObject().value("type").toString() != QStringLiteral("message")) continue;
        for (const QJsonValue& part : item.toObject().value("content").toArray()) {
            const QJsonObject p = part.toObject();
            if (p.value("type").toString() == QStringLiteral("output_text") && p.value("text").isString())
                out += p.value("text").toString();
        }
    }
    if (out.isEmpty()) return std::nullopt;
    return out;
}

std::optional<QString> apiError(const QByteArray& body) {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonValue message = doc.object().value("error").toObject().value("message");
    if (!doc.isObject() || !message.isString()) return std::nullopt;
    return message.toString();
}

std::pair<std::optional<QString>, QString> splitTitle(const QString& reply) {
    const QStringList lines = reply.split(QLatin1Char('\n'));
    static const QString marker = QStringLiteral("ЗАГОЛОВОК:");
    for (int i = 0; i < std::min<qsizetype>(3, lines.size()); ++i) {
        QString cleaned = trimmedBlanks(lines[i]);
        cleaned.remove(QLatin1Char('*'));
        cleaned.remove(QLatin1Char('#'));
        cleaned = trimmedBlanks(cleaned);
        if (!cleaned.startsWith(marker, Qt::CaseInsensitive)) continue;
        const QString rest = trimmedBlanks(cleaned.mid(marker.size()));
        const QString body = lines.mid(i + 1).join(QLatin1Char('\n')).trimmed() + QLatin1Char('\n');
        return {rest.isEmpty() ? std::nullopt : std::optional(rest), body};
    }
    return {std::nullopt, reply};
}

QString header(const MeetingStore::Folder& folder, Kind kind) {
    const auto meta = MeetingStore::read(folder);
    QString headline = folder.name();
    if (meta && meta->title) headline = *meta->title;
    else if (meta && meta->app) headline = *meta->app;
    QString out = QStringLiteral("# ") + title(kind) + QStringLiteral(" · ") + headline + QStringLiteral("\n\n");
    QStringList details;
    if (meta && meta->title && meta->app) details << *meta->app;
    if (meta) details << MeetingTranscriber::dateText(meta->started);
    if (meta && meta->seconds > 0) details << MeetingTranscriber::durationText(meta->seconds);
    if (!details.isEmpty()) out += QLatin1Char('_') + details.join(QStringLiteral(" · ")) + QStringLiteral("_\n\n");
    out += QStringLiteral("> ") +
           L(QStringLiteral("meeting.notes.madeBy"),
             QStringLiteral("Расшифровка сделана на этом компьютере. Этот текст - облачная модель %@: расшифровка "
                            "уходила наружу. Проверяйте имена и числа; время в скобках - от начала записи."),
             {MODEL()}) +
           QStringLiteral("\n\n");
    return out;
}

QStringList corrections(const QString& notes) {
    static const QString marker = QStringLiteral("ИСПРАВЛЕНО:");
    for (const QString& line : notes.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString cleaned = trimmedBlanks(line);
        cleaned.remove(QLatin1Char('*'));
        if (cleaned.startsWith(marker, Qt::CaseInsensitive)) return {cleaned.mid(marker.size())};
    }
    return {};
}

void setTimeoutsForTesting(std::optional<std::pair<double, double>> idleAndDeadline) {
    std::lock_guard lock(g_timeoutsMutex);
    g_testTimeouts = idleAndDeadline;
}

std::optional<QString> send(const MeetingStore::Folder& folder, Kind kind, Failure* failure) {
    auto fail = [&](Failure::Case which, QString text = {}, int status = 0) -> std::optional<QString> {
        if (failure) *failure = {which, std::move(text), status};
        return std::nullopt;
    };
    const auto d = draft(folder, kind, failure);
    if (!d) return std::nullopt;
    // The transcript leaves the machine only with the user's consent.
    if (!cloudAllowed())
        return fail(Failure::Case::notReady,
                    L(QStringLiteral("meeting.notes.err.cloudOff"),
                      QStringLiteral("Отправка расшифровок в облако выключена в настройках.")));
    if (!AIProvider::isReady()) return fail(Failure::Case::notReady, AIProvider::notReadyMessage());
    const auto built = AIProvider::request(BACKEND_PATH, endpoint());
    if (!built.request) return fail(Failure::Case::notReady, errorDescription(*built.error));
    AIRequest request = *built.request;
    {
        std::lock_guard lock(g_timeoutsMutex);
        request.idleTimeoutSeconds = g_testTimeouts ? g_testTimeouts->first : IDLE_TIMEOUT_SECONDS;
        request.deadlineSeconds = g_testTimeouts ? g_testTimeouts->second : DEADLINE_SECONDS;
    }
    const QByteArray body = QJsonDocument(d->payload).toJson(QJsonDocument::Compact);
    const QString raw = rawValue(kind);
    logLine(QStringLiteral("встреча/") + raw + QStringLiteral(": отправляю ") + QString::number(d->characters()) +
            QStringLiteral(" симв. модели ") + MODEL());
    const double start = Clock::shared().uptime();

    // This thread waits in a loop of its own; the answer arrives on it.
    std::optional<CloudResponse> response;
    {
        QEventLoop loop;
        CloudTransport transport;
        transport.send(request, body, [&](CloudResponse r) {
            response = std::move(r);
            loop.quit();
        });
        if (!response) loop.exec();
    }
    if (response->failure != CloudResponse::Failure::none)
        return fail(Failure::Case::transport, response->errorText);
    if (response->status == 0) return fail(Failure::Case::transport, QStringLiteral("пустой ответ"));
    std::optional<QString> reply;
    if (response->status >= 200 && response->status <= 299) {
        reply = text(response->body);
    } else {
        return fail(Failure::Case::api, apiError(response->body).value_or(QStringLiteral("неизвестная ошибка")),
                    response->status);
    }
    if (!reply || reply->trimmed().isEmpty()) return fail(Failure::Case::emptyAnswer);
    const double elapsed = Clock::shared().uptime() - start;

    const auto [newTitle, content] = splitTitle(*reply);
    if (newTitle) MeetingStore::update(folder, [t = *newTitle](MeetingStore::Meta& m) { m.title = t; });
    const QString target = folder.file(fileName(kind));
    if (!MeetingStore::writePrivateFile(target, (header(folder, kind) + content).toUtf8()))
        return fail(Failure::Case::writeFailed, QStringLiteral("не удалось записать ") + target);
    MeetingStore::update(folder, [kind](MeetingStore::Meta& m) {
        if (kind == Kind::notes) m.notesCreated = true;
        else m.summaryCreated = true;
    });
    logLine(formatSpec(QStringLiteral("встреча/%@: готово за %.0f с, %d симв."), {raw, elapsed, graphemeCount(*reply)}));
    return target;
}

}  // namespace murmelo::MeetingNotes
