#pragma once
#include "shell/AppQuit.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// The application delegate: the start-up routine once the event loop runs, the decision
// on a quit request and the orderly shutdown. One per process; main creates it.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate();
    ~AppDelegate() override;

    // The process's delegate, or nullptr before main made one.
    static AppDelegate* shared();

    // What the launch reads: the arguments after the program and the environment. The
    // process's own unless a test sets them.
    void setLaunchContext(QStringList arguments, QProcessEnvironment environment);
    // How the process ends after the shutdown; by default the main loop ends with status.
    void setExitHandler(std::function<void(int status)> handler);
    // Where work leaves the main thread (the utility queue); tests run it when they like.
    void setBackgroundRunner(std::function<void(std::function<void()>)> runner);

    AppQuit::Reply applicationShouldTerminate();
    void applicationWillTerminate();

    // The application's terminate request: decides, asks when the quit is the user's, runs
    // the shutdown and ends the process. systemReason: the system's quit reason, when the
    // request comes from the end of the session.
    void terminate(std::optional<quint32> systemReason = std::nullopt);
    // The shutdown has started; later requests change nothing.
    bool isTerminating() const { return terminating_; }

    // The distributed notification by which a second copy asks for the settings window.
    static QString murmeloShowPrefs();

public slots:
    void applicationDidFinishLaunching();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ensureSingleInstance();
    void observeShowPrefs();
    void observeSessionEnd();
    void startModel();

    QStringList arguments_;
    QProcessEnvironment environment_;
    std::function<void(int)> exit_;
    std::function<void(std::function<void()>)> background_;
    bool terminating_ = false;
    bool asking_ = false;
};

}  // namespace murmelo
