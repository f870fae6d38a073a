#pragma once
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// Who wrote a text into another application.
enum class TextWriteOrigin {
    dictation, dictationRepair, voiceCommand, screenReply, quickReply, quickActions, history, layout,
    polish, polishRollback, polishRepair, layoutUndo, layoutUndoRepair, accessibility, unknown,
};
// How it was written.
enum class TextWriteRoute { directUnicode, clipboard, accessibilitySelectedText, accessibilityValue, backspace, keyEvent };

QString rawValue(TextWriteOrigin origin);
QString rawValue(TextWriteRoute route);
std::optional<TextWriteOrigin> textWriteOrigin(const QString& raw);
std::optional<TextWriteRoute> textWriteRoute(const QString& raw);

// What the trace says about a text instead of the text.
struct TextWriteTraceMetadata {
    int characters = 0;
    int utf16Units = 0;
    int lines = 0;
    QString signature;
    bool operator==(const TextWriteTraceMetadata&) const = default;
};

struct TextWriteTraceTarget {
    std::optional<qint32> pid;
    std::optional<QString> bundleID;
    QString logValue() const;
    bool operator==(const TextWriteTraceTarget&) const = default;
};

struct TextWriteTraceToken {
    QString id;
    TextWriteOrigin origin = TextWriteOrigin::unknown;
    TextWriteRoute route = TextWriteRoute::keyEvent;
    TextWriteTraceMetadata metadata;
    int erasedCharacters = 0;
    TextWriteTraceTarget target;
    QDateTime startedAt;
    bool isLive = false;

    // The inert token writers get while tracing is off.
    static TextWriteTraceToken off();
    bool operator==(const TextWriteTraceToken&) const = default;
};

// BEGIN / OBSERVE / END lines for every synthetic write while "textWriteTrace" is on. The
// text itself never appears: only its size and a keyed signature under a key that lives
// in this process alone.
namespace TextWriteTrace {

inline const QString SETTING_KEY = QStringLiteral("textWriteTrace");

bool isEnabled();
TextWriteTraceToken begin(const QString& text, TextWriteRoute route, TextWriteOrigin origin = TextWriteOrigin::unknown,
                          int erasedCharacters = 0, std::optional<qint32> targetPID = std::nullopt);
void observe(const TextWriteTraceToken& token, const std::function<QString()>& message);
void finish(const TextWriteTraceToken& token, const std::function<QString()>& outcome, bool checkTarget = false);
QString beginLine(const TextWriteTraceToken& token);
QString signature(const QString& text);
QString signature(const QString& text, quint64 salt);
TextWriteTraceMetadata metadata(const QString& text, std::optional<quint64> salt = std::nullopt);

}  // namespace TextWriteTrace
}  // namespace murmelo
