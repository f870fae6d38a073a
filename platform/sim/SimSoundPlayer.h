#pragma once
#include "platform/SoundPlayer.h"

#include <QStringList>

#include <mutex>

namespace murmelo::sim {

// Sounds that play nothing and write down what was done to them: "load Pop", "play Pop",
// "stop Pop". A sound counts as playing from its play until `finishAll` or its stop.
class SimSoundPlayer : public SoundPlayer {
public:
    // The names that load; others are missing.
    QStringList available{QStringLiteral("Pop"), QStringLiteral("Tink"), QStringLiteral("Bottle")};

    std::shared_ptr<Sound> load(const QString& name) override;

    QStringList events() const;
    QStringList played() const;  // the names of the plays, in order
    void clear();
    // Every sound comes to its end.
    void finishAll();

private:
    friend class SimSound;
    void note(const QString& event);

    mutable std::mutex mutex_;
    QStringList events_;
    int generation_ = 0;  // raised by finishAll
};

}  // namespace murmelo::sim
