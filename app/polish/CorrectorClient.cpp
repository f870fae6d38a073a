#include "polish/CorrectorClient.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/ComposeStage.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <vector>

namespace murmelo {

namespace {

constexpr double kTimeoutSeconds = 12.0;
constexpr double kSlowMs = 120.0;
constexpr size_t kMaxSamples = 24;
constexpr size_t kMinSamples = 4;

struct Sample {
    qint64 chars;
    double ms;
};

std::vector<Sample>& samples() {
    static std::vector<Sample> held;
    return held;
}

std::optional<double> costPerChar() {
    const auto& held = samples();
    if (held.size() < kMinSamples) return std::nullopt;
    std::vector<double> costs;
    costs.reserve(held.size());
    for (const Sample& s : held) costs.push_back(s.ms / double(s.chars));
    std::sort(costs.begin(), costs.end());
    return costs[costs.size() / 2];
}

QNetworkAccessManager& network() {
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        // The corrector is on this machine: a proxy from the environment must not sit between.
        manager->setProxy(QNetworkProxy::NoProxy);
    }
    return *manager;
}

std::optional<QString> decodeUtf8(const QByteArray& body) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(body);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

}  // namespace

void requestCorrection(const QString& text, std::function<void(std::optional<QString>)> completion) {
    // The simulated field's own corrector answers after its latency; nothing goes to the network.
    if (ComposeStage* stage = ComposeStage::installed(); stage && stage->corrector) {
        const std::optional<QString> answer = stage->corrector(text);
        MainQueue::shared().after(stage->correctorDelay, [completion, answer] { completion(answer); });
        return;
    }
    const QUrl url = sharedService<CorrectorEndpoint>().url;
    if (!url.isValid()) {
        MainQueue::shared().post([completion] { completion(std::nullopt); });
        return;
    }
    QNetworkRequest request(url);
    // Qt would otherwise label the body as a form; it is plain text.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
    const double started = Clock::shared().uptime();
    const qint64 chars = graphemeCount(text);
    QNetworkReply* reply = network().post(request, text.toUtf8());

    // The time-out runs on the main queue's clock so that it is the same time the caller
    // and the latency estimate see.
    QPointer<QNetworkReply> watched(reply);
    TimerHandle timeout = MainQueue::shared().after(kTimeoutSeconds, [watched] {
        if (watched && watched->isRunning()) watched->abort();
    });

    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, timeout, started, chars, completion]() mutable {
        timeout.cancel();
        std::optional<QString> answer;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int code = status.isValid() ? status.toInt() : 0;
        if (status.isValid() && (code < 200 || code >= 300)) {
            logLine(QStringLiteral("⚠ polish/корректор: ответ HTTP ") + QString::number(code) +
                    QStringLiteral(" — это не правка, текст не трогаю"));
        } else if (reply->error() == QNetworkReply::NoError) {
            answer = decodeUtf8(reply->readAll());
        }
        reply->deleteLater();
        // Whole microseconds: the difference of two uptimes carries rounding noise that
        // would put an answer of exactly 120 ms under the slow mark.
        const double ms = std::round((Clock::shared().uptime() - started) * 1e6) / 1e3;
        MainQueue::shared().post([answer, ms, chars, completion] {
            if (answer) PolishLatency::note(chars, ms);
            if (ms >= kSlowMs) {
                QString line = QStringLiteral("polish/корректор: ответ ") + QString::number(qint64(ms)) +
                               QStringLiteral(" мс на ") + QString::number(chars) + QStringLiteral(" симв.");
                if (const auto estimate = PolishLatency::describe())
                    line += QStringLiteral(" (") + *estimate + QStringLiteral(")");
                logLine(line);
            }
            completion(answer);
        });
    });
}

namespace PolishLatency {

void note(qint64 chars, double ms) {
    if (chars <= 0 || !(ms > 0)) return;
    auto& held = samples();
    held.push_back({chars, ms});
    if (held.size() > kMaxSamples) held.erase(held.begin(), held.end() - kMaxSamples);
}

qint64 maxChars(qint64 ceiling) {
    const auto cost = costPerChar();
    if (!cost || !(*cost > 0)) return ceiling;
    return std::max<qint64>(std::min<qint64>(qint64(BUDGET_MS / *cost), ceiling), 0);
}

std::optional<QString> describe() {
    const auto cost = costPerChar();
    if (!cost) return std::nullopt;
    return QString::asprintf("%.2f мс/симв. по %d ответам", *cost, int(samples().size()));
}

void reset() { samples().clear(); }

}  // namespace PolishLatency
}  // namespace murmelo
