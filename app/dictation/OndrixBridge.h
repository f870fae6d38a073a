#pragma once
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace murmelo {

// Hands dictations that open with the assistant's spoken name to the companion voice-bridge
// service on this machine. Only an accepting answer (202) counts as delivered.
class OndrixBridge {
public:
    static OndrixBridge& shared();
    OndrixBridge();

    static constexpr int MAX_TRANSCRIPT = 8000;

    // The companion's address; tests point it at a stand-in.
    QUrl endpoint;
    // The longest wait for further data, and for the whole exchange.
    double requestTimeout = 1.5;
    double resourceTimeout = 2.0;

    bool isAddressed(const QString& text) const;
    // Calls done exactly once: at once when nothing is sent, else on the main thread when the
    // exchange has ended.
    void routeIfAddressed(const QString& text, std::function<void(bool delivered)> done) const;

    // The text after the addressing word, or nothing.
    static std::optional<QString> addressedCommand(const QString& text);
    // The companion's token, read afresh; nothing unless it is 64 lower-case hex digits.
    static std::optional<QString> readToken();
    static QString tokenPath();
};

}  // namespace murmelo
