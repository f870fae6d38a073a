#pragma once
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace murmelo {

// Where the local corrector answers. A service so tests can point the client at a server
// they started; the application never installs one.
struct CorrectorEndpoint {
    QUrl url{QStringLiteral("http://127.0.0.1:8911/correct")};
};

// Sends the text to the corrector (POST, the raw UTF-8 text as body, the body of the reply
// is the corrected text) and returns at once. The completion runs exactly once, on the main
// queue, with the correction or none: no server, a transport error, the 12 s time-out, a
// body that is not UTF-8, or a reply that is not 2xx (an error page is never a correction).
// An empty correction arrives as an empty string. Never retries, never starts the server.
void requestCorrection(const QString& text, std::function<void(std::optional<QString>)> completion);

// A running estimate of the corrector's milliseconds per character, from the latest
// answers, so live polish can size requests to fit the budget. Main thread only.
namespace PolishLatency {

constexpr double BUDGET_MS = 100.0;

void note(qint64 chars, double ms);
// How many characters fit the budget; the ceiling while there is no estimate yet.
qint64 maxChars(qint64 ceiling);
std::optional<QString> describe();
void reset();

}  // namespace PolishLatency
}  // namespace murmelo
