#include "layout/LayoutSwitchSound.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/SerialQueue.h"
#include "layout/LayoutSwitcher.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/SoundPlayer.h"

#include <map>
#include <memory>

namespace murmelo::LayoutSwitchSound {

std::function<void(Cue)> sink;

namespace {

SerialQueue& queue() {
    static auto* q = new SerialQueue;  // "com.local.murmelo.layout-sound"
    return *q;
}

// Touched only on the queue.
std::map<Cue, std::shared_ptr<Sound>>& cache() {
    static std::map<Cue, std::shared_ptr<Sound>> sounds;
    return sounds;
}

void restart(Sound& sound) {
    // A repeated cue starts again instead of overlapping.
    if (sound.isPlaying()) sound.stop();
    sound.play();
}

void playOnQueue(Cue cue) {
    auto& sounds = cache();
    if (auto it = sounds.find(cue); it != sounds.end() && it->second) {
        restart(*it->second);
        return;
    }
    const QString name = soundName(cue);
    std::shared_ptr<Sound> sound = name.isEmpty() ? nullptr : SoundPlayer::shared().load(name);
    if (!sound) {
        // Not cached: the next play of the cue tries again.
        logLine(QStringLiteral("layout/звук: системный звук ") + (name.isEmpty() ? QStringLiteral("?") : name) +
                QStringLiteral(" не найден - молчу"));
        return;
    }
    sounds[cue] = sound;
    restart(*sound);
}

}  // namespace

QString rawValue(Cue cue) {
    switch (cue) {
    case Cue::ru: return QStringLiteral("ru");
    case Cue::en: return QStringLiteral("en");
    case Cue::rollback: return QStringLiteral("rollback");
    }
    return {};
}

std::optional<Cue> cueFromRaw(const QString& raw) {
    for (Cue c : {Cue::ru, Cue::en, Cue::rollback})
        if (rawValue(c) == raw) return c;
    return std::nullopt;
}

QString soundName(Cue cue) {
    switch (cue) {
    case Cue::ru: return QStringLiteral("Pop");
    case Cue::en: return QStringLiteral("Tink");
    case Cue::rollback: return QStringLiteral("Bottle");
    }
    return {};
}

bool isEnabled() {
    return Defaults::shared().object(DEFAULTS_KEY) ? Defaults::shared().boolValue(DEFAULTS_KEY) : true;
}

void setEnabled(bool on) { Defaults::shared().set(DEFAULTS_KEY, on); }

bool envValueSilences(const std::optional<QByteArray>& value) { return value && *value == "0"; }

bool envOff() {
    static const bool off = [] {
        return envValueSilences(qEnvironmentVariableIsSet("MURMELO_LAYOUT_SOUND")
                                    ? std::optional<QByteArray>(qgetenv("MURMELO_LAYOUT_SOUND"))
                                    : std::nullopt);
    }();
    return off;
}

bool shouldPlay(bool enabled, bool envOff, bool standMode) { return enabled && !envOff && !standMode; }

void play(Cue cue) {
    // A stand drives the engine without a listener: no cue at all then.
    if (!shouldPlay(isEnabled(), envOff(), LayoutSwitcher::standMode())) return;
    if (sink) {
        sink(cue);
        return;
    }
    queue().async([cue] { playOnQueue(cue); });
}

std::optional<Cue> cue(const std::optional<QString>& sourceID) {
    const std::optional<QString> lang = ManualInputSourceProfileV1::language(sourceID);
    if (lang == QStringLiteral("ru")) return Cue::ru;
    if (lang == QStringLiteral("en")) return Cue::en;
    return std::nullopt;
}

void waitUntilIdle() { queue().waitUntilIdle(); }

void forgetSounds() {
    queue().async([] { cache().clear(); });
    queue().waitUntilIdle();
}

}  // namespace murmelo::LayoutSwitchSound
