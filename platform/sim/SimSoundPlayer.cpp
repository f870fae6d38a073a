#include "sim/SimSoundPlayer.h"

namespace murmelo::sim {

class SimSound : public Sound {
public:
    SimSound(SimSoundPlayer& player, QString name) : player_(player), name_(std::move(name)) {}

    bool isPlaying() override {
        std::lock_guard lock(player_.mutex_);
        return playing_ && startedIn_ == player_.generation_;
    }
    void stop() override {
        {
            std::lock_guard lock(player_.mutex_);
            playing_ = false;
        }
        player_.note(QStringLiteral("stop ") + name_);
    }
    void play() override {
        {
            std::lock_guard lock(player_.mutex_);
            playing_ = true;
            startedIn_ = player_.generation_;
        }
        player_.note(QStringLiteral("play ") + name_);
    }

private:
    SimSoundPlayer& player_;
    QString name_;
    bool playing_ = false;
    int startedIn_ = 0;
};

std::shared_ptr<Sound> SimSoundPlayer::load(const QString& name) {
    note(QStringLiteral("load ") + name);
    std::lock_guard lock(mutex_);
    if (!available.contains(name)) return nullptr;
    return std::make_shared<SimSound>(*this, name);
}

void SimSoundPlayer::note(const QString& event) {
    std::lock_guard lock(mutex_);
    events_ << event;
}

QStringList SimSoundPlayer::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

QStringList SimSoundPlayer::played() const {
    QStringList out;
    for (const QString& e : events())
        if (e.startsWith(QStringLiteral("play "))) out << e.mid(5);
    return out;
}

void SimSoundPlayer::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

void SimSoundPlayer::finishAll() {
    std::lock_guard lock(mutex_);
    ++generation_;
}

}  // namespace murmelo::sim
