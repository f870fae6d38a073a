#pragma once
#include <QObject>

namespace murmelo {

// The application delegate: what the process does once its event loop runs. Menu actions
// and termination hooks join it as their subsystems arrive.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate() = default;

public slots:
    void applicationDidFinishLaunching();
};

}  // namespace murmelo
