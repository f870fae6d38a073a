#pragma once
#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// The diagnostic and maintenance modes of the executable. They run before anything of the
// normal start, print to standard output and end the process silently.
namespace OneShotModes {

inline constexpr const char* screenContextProbeEnvironmentKey = "MURMELO_SCREEN_CONTEXT_PROBE";
inline constexpr const char* meetingNotesSendArgument = "--meeting-notes-send";

// The probe's level: the variable as a decimal integer, 0 when absent or unparsable.
int screenContextProbeLevel(const QProcessEnvironment& environment);

// Tests the modes in their order; the first that matches runs. True when one matched:
// the process is ending (now, or when an asynchronous mode finishes) and the caller must
// not start anything. arguments: without the program itself.
bool run(const QStringList& arguments, const QProcessEnvironment& environment);

// Where the modes' lines go: standard output, one line each. Tests collect them.
using Output = std::function<void(const QString& line)>;
void setOutput(Output output);

// What the command line asks before anything starts, decided from the arguments alone
// (no display, no settings): the help ("--help", "-h"), or an error for the first option
// that neither a mode, nor a start option, nor the toolkit knows. The arguments after a
// flag with operands are its operands. nullopt: the normal start.
struct CommandLineAnswer {
    enum class Kind { help, unknownOption } kind;
    QString option;  // the unknown option, as given
    bool operator==(const CommandLineAnswer&) const = default;
};
std::optional<CommandLineAnswer> checkCommandLine(const QStringList& arguments);
// The help: how to start the program, then one line per mode and start option.
QString helpText();
// The error line for an unknown option, and the exit status that goes with it.
QString unknownOptionText(const QString& option);
inline constexpr int unknownOptionStatus = 2;

// How long the call-window names probe waits for the window's text.
inline constexpr double callWindowWaitSeconds = 20.0;

}  // namespace OneShotModes
}  // namespace murmelo
