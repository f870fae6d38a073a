#include "meetings/MeetingPolish.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "cleanup/LangGuess.h"
#include "dictation/LoopbackHttp.h"
#include "platform/MainQueue.h"

#include <QUrl>
#include <chrono>
#include <thread>

namespace murmelo::MeetingPolish {
namespace {

QUrl corrector(quint16 port, const QString& path) {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

int words(const QString& text) { return int(text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size()); }

bool ready(quint16 port) {
    const HttpResult r = loopbackHttp("GET", corrector(port, QStringLiteral("/")), {}, {}, 1.0, 2.0);
    return r.responded && r.status == 200;
}

}  // namespace

bool isEnabled() { return Defaults::shared().realBool(QStringLiteral("meetingPolish")).value_or(true); }

bool shouldPolish(const QSet<QString>& languages, const QString& text) {
    if (languages != QSet<QString>{QStringLiteral("ru")}) return false;
    const auto v = LangGuess::classify(text).verdict;
    return v == LangGuess::Verdict::ru || v == LangGuess::Verdict::unknown;
}

bool languageDisagrees(const QSet<QString>& languages, const QString& text) {
    if (languages != QSet<QString>{QStringLiteral("ru")}) return false;
    const auto v = LangGuess::classify(text).verdict;
    return v == LangGuess::Verdict::cyrillicNotRu || v == LangGuess::Verdict::latin || v == LangGuess::Verdict::other;
}

bool acceptable(const QString& original, const QString& fixed) {
    const int n = words(original);
    const int m = words(fixed);
    return n > 0 && n * MIN_SHRINK <= m && m <= n * MAX_GROWTH;
}

QString fix(const QString& text, quint16 port) {
    if (!isEnabled() || graphemeCount(text) < MIN_CHARS) return text;
    const HttpResult r = loopbackHttp("POST", corrector(port, QStringLiteral("/correct")), {}, text.toUtf8(), 10.0, 12.0);
    // An error page is not a corrected turn, however many words it has.
    if (!r.responded || r.status != 200) return text;
    const QString answer = QString::fromUtf8(r.body).trimmed();
    if (answer.isEmpty() || !acceptable(text, answer)) return text;
    return answer;
}

bool borrowCorrector(CorrectorManager& manager, quint16 port, double wait) {
    if (!isEnabled() || isPolishEnabled()) return false;
    logLine(QStringLiteral("встреча/полировка: полировка диктовок выключена - поднимаю корректор на время расшифровки"));
    manager.start(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(wait);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready(port)) {
            logLine(QStringLiteral("встреча/полировка: корректор готов"));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    logLine(QStringLiteral("встреча/полировка: корректор не поднялся за ") + QString::number(qRound(wait)) +
            QStringLiteral(" с - ") + QStringLiteral("расшифровка идёт без пунктуации от модели"));
    return true;
}

void returnCorrector(bool borrowed, CorrectorManager& manager) {
    if (!borrowed || isPolishEnabled()) return;
    manager.stop();
    logLine(QStringLiteral("встреча/полировка: корректор погашен - брали его только на расшифровку"));
}

}  // namespace murmelo::MeetingPolish
