#pragma once
#include "ai/QuickReplyResult.h"
#include "base/SerialQueue.h"
#include "dictation/DictationNeighbours.h"
#include "platform/MainQueue.h"
#include "reply/CodexActionContract.h"
#include "reply/ReplyProfile.h"
#include "reply/ScreenContext.h"

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace murmelo {

// The caller cancelled the reply: distinct from every bridge failure, and ignored by the caller.
struct CodexCancellation {
    bool operator==(const CodexCancellation&) const = default;
};
// A failure of our own side (the working folder could not be made, a later message could not
// be written); its description is the message.
struct CodexSystemError {
    QString description;
    bool operator==(const CodexSystemError&) const = default;
};
using CodexReplyResult = std::variant<QuickReplyResult, CodexBridgeError, CodexCancellation, CodexSystemError>;
// The text the user reads for a failure; empty for a reply and for a cancellation.
QString codexFailureMessage(const CodexReplyResult& result);

// The handle of one reply, shared by the caller, the worker and the deadline.
class CodexAppServerTask {
public:
    enum class StopReason { cancelled, timedOut };

    CodexAppServerTask();
    ~CodexAppServerTask();
    CodexAppServerTask(const CodexAppServerTask&) = delete;
    CodexAppServerTask& operator=(const CodexAppServerTask&) = delete;

    // Any thread; only the first stop before the end counts.
    void cancel() { stop(StopReason::cancelled); }
    void stop(StopReason reason);
    bool isFinished() const;

    // The worker's side. A stop wakes the worker through wakeFd, and the worker ends the
    // child itself, so no other thread ever signals a process id that may have been reaped.
    std::optional<StopReason> attach(qint64 pid);
    std::optional<StopReason> finish();
    int wakeFd() const { return wake_; }
    void setDeadline(TimerHandle timer);

private:
    mutable std::mutex lock_;
    qint64 process_ = 0;
    bool finished_ = false;
    std::optional<StopReason> stopReason_;
    TimerHandle deadline_;
    int wake_ = -1;
};

// One reply's request as the coordinator gives it.
struct CodexReplyRequest {
    QString context;
    QString intent;
    ScreenContextSource contextSource = ScreenContextSource::clipboard;
    ReplyProfile profile;
    ReplyTaskKind task = ReplyTaskKind::automatic;
};

// The conversation with one agent child, line by line, without the process: what it writes
// goes through the writer, what the child printed comes in through consumeLine.
class CodexAppServerSession {
public:
    // Writes one whole line to the child; false with the reason when it could not.
    using Writer = std::function<bool(const QByteArray& line, QString* error)>;

    CodexAppServerSession(CodexReplyRequest request, CodexTaskMode mode, Writer writer, QString temporaryRoot);
    ~CodexAppServerSession();
    CodexAppServerSession(const CodexAppServerSession&) = delete;
    CodexAppServerSession& operator=(const CodexAppServerSession&) = delete;

    // The initialize request; false with the reason when it could not be written.
    bool sendInitialize(QString* error);
    void consumeLine(const QByteArray& line);
    const std::optional<CodexReplyResult>& terminalResult() const { return terminalResult_; }
    const std::optional<QString>& isolatedDirectory() const { return isolatedDirectory_; }
    const std::optional<QString>& threadID() const { return threadID_; }
    void removeWorkingDirectory();

    QString prompt() const;
    QString developerInstructions() const;

    // The child's command line after the program, and its whole environment taken from the
    // application's.
    static QStringList arguments(CodexTaskMode mode);
    static QStringList environment(const QProcessEnvironment& application);
    // Compact JSON with sorted keys and one line feed.
    static QByteArray encode(const QJsonObject& message);

private:
    bool send(const QJsonObject& message);
    bool sendRequest(int id, const QString& method, const QJsonObject& params);
    void fail(CodexReplyResult failure);
    void handleNotification(const QString& method, const QJsonObject& params);
    void handleResponse(qint64 id, const QJsonObject& result);
    bool sendThreadStart(const QStringList& disablingMCPServers);
    bool sendTurnStart(const QString& threadID);
    std::optional<QString> emptyWorkingDirectory(QString* error);

    CodexReplyRequest request_;
    CodexTaskMode mode_;
    Writer writer_;
    QString temporaryRoot_;
    std::optional<QString> threadID_;
    std::optional<QString> finalMessage_;
    std::optional<CodexReplyResult> terminalResult_;
    std::optional<QString> isolatedDirectory_;
};

// Runs the user's agent for screen replies, one child per reply, one reply at a time.
class CodexAppServerClient {
public:
    static constexpr double DEADLINE = 55.0;
    // After SIGTERM, how long the child's group has before it is killed.
    static constexpr double KILL_GRACE = 1.0;

    static CodexAppServerClient& shared();
    explicit CodexAppServerClient(double deadline = DEADLINE);

    using Completion = std::function<void(CodexReplyResult)>;
    // No agent program: completion runs at once with executableNotFound and the result is
    // none. Otherwise the reply runs on the worker, its deadline counts from now, and
    // completion runs once on the main queue.
    std::shared_ptr<CodexAppServerTask> createReply(const QString& context, const QString& intent,
                                                    ScreenContextSource contextSource, const ReplyProfile& profile,
                                                    ReplyTaskKind task, Completion completion);

    SerialQueue& worker() { return worker_; }

private:
    double deadline_;
    SerialQueue worker_;
};

}  // namespace murmelo
