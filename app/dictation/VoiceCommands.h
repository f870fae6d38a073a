#pragma once
#include "input/TextWriteTrace.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace murmelo {

// A spoken name and the shell command line it runs.
struct VoiceCommand {
    QString name;  // lower case
    QString command;
    bool operator==(const VoiceCommand&) const = default;
};

// How a command ended: it printed something, failed (with a message), or printed nothing.
struct VoiceCommandResult {
    enum class Kind { output, failed, silent };
    Kind kind = Kind::silent;
    QString text;
    bool operator==(const VoiceCommandResult&) const = default;
};

struct VoiceCommandMatch {
    VoiceCommand command;
    QString transcript;
    bool operator==(const VoiceCommandMatch&) const = default;
};

extern const QString VOICE_COMMANDS_SAMPLE;

namespace VoiceCommands {

inline const QString key = QStringLiteral("voiceCommands");
inline const QString transcriptEnvKey = QStringLiteral("MURMELO_TRANSCRIPT");
inline constexpr double timeout = 10.0;
// After TERM, how long the command's group has before it is killed.
inline constexpr double killGrace = 1.0;

QString text();
void setText(const QString& text);
// The valid definitions, longest name first.
QList<VoiceCommand> parse(const QString& text);
std::optional<VoiceCommandMatch> match(const QString& text, const QList<VoiceCommand>& commands);
std::optional<VoiceCommandMatch> match(const QString& text);
// The user's login shell ($SHELL, else /bin/sh).
QString shell();
// Runs the command line in the login shell, in a process group of its own, off the main
// thread; the whole group is ended at the bound. done runs once on the main queue.
void run(const VoiceCommand& command, const QString& transcript, std::function<void(VoiceCommandResult)> done,
         double bound = timeout);
// The blocking part of run, on the calling thread.
VoiceCommandResult runBlocking(const VoiceCommand& command, const QString& transcript, double bound = timeout);

}  // namespace VoiceCommands

// Runs the voice command the text opens with, or inserts the text. paste inserts a text with
// its origin.
void deliverDictation(const QString& text);
void deliverDictation(const QString& text, std::function<void(const QString&, TextWriteOrigin)> paste,
                      double bound = VoiceCommands::timeout);

}  // namespace murmelo
