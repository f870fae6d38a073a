#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace murmelo {

// A program started with posix_spawn in a process group of its own, its standard output and
// error on pipes (and its input too when asked for). Standard error is collected whenever
// output is awaited, so a program that talks a lot there can never stall on a full pipe.
// One thread uses an instance; the destructor ends the group unless the program was reaped.
class ChildProcess {
public:
    struct Options {
        QString program;
        QStringList arguments;  // after the program's own name
        // "NAME=value" entries, the child's whole environment; none: the application's.
        std::optional<QStringList> environment;
        bool withInput = false;  // a pipe on standard input; otherwise it is inherited
        // Standard error kept, from its start; the rest is read and dropped.
        qsizetype errorLimit = 1 << 20;
    };

    enum class Wait {
        output,     // bytes were appended
        ended,      // standard output reached its end
        woken,      // the wake descriptor became readable
        timedOut,   // the time given ran out
    };

    // The running child, or none with the reason in error.
    static std::unique_ptr<ChildProcess> start(const Options& options, QString* error);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Writes all bytes to standard input. A child that has gone makes this fail (false, the
    // reason in error); it never raises SIGPIPE in the application.
    bool write(const QByteArray& bytes, QString* error);
    // A write failed because the child closed its end of standard input (or ended).
    bool inputClosedByChild() const { return inputClosed_; }
    void closeInput();

    // Blocks until standard output has bytes (appended to into), it ends, wakeFd (when not
    // negative) is readable, or seconds (none: no bound) run out.
    Wait waitForOutput(QByteArray& into, int wakeFd = -1, std::optional<double> seconds = std::nullopt);
    // After standard output ended: reads standard error to its end and waits for the program
    // to exit, within the time given; true when it exited.
    bool finish(double seconds);

    // The collected standard error (its first errorLimit bytes).
    const QByteArray& errors() const { return errors_; }
    bool errorsCut() const { return errorsCut_; }

    // Exited (reaped or not).
    bool hasExited();
    // Asks the whole group to end (SIGTERM), kills it (SIGKILL) once the program is gone or
    // grace seconds have passed, and reaps the program: nothing of the group survives. Does
    // nothing once the program was reaped.
    void end(double grace);
    // Reaps a program that exited by itself, leaving what it started in the background alone;
    // its status, or none while it runs.
    std::optional<int> reapExited();
    // waitpid's status once reaped; none before.
    std::optional<int> exitStatus() const { return status_; }

private:
    ChildProcess() = default;
    void readErrors();
    bool reap(bool block);
    void closeFd(int& fd);

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    qsizetype errorLimit_ = 0;
    QByteArray errors_;
    bool errorsCut_ = false;
    bool inputClosed_ = false;
    std::optional<int> status_;
};

}  // namespace murmelo
