#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace murmelo {

// The warning shown at launch when a keep-awake lock survived the previous run and nothing
// guards it any more.
struct OrphanedStayAwakeAlert {
    enum class Answer { keep, release };

    QString message;
    QString informativeText;
    QStringList buttons;  // keep, release

    static OrphanedStayAwakeAlert make();

    // Shows the alert modally and acts on the answer: keep arms the lock again, anything
    // else gives sleep back.
    static void show();

    // Tests answer for the user.
    using Runner = std::function<Answer(const OrphanedStayAwakeAlert&)>;
    static void setRunner(Runner runner);
};

}  // namespace murmelo
