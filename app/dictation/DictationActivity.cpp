#include "dictation/DictationActivity.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/MainQueue.h"

#include <mutex>

namespace murmelo::DictationActivity {
namespace {

// A Linux desktop has no claim of this kind that a user process can make (keeping the
// machine awake is the keep-awake service's, with its own rules). The token is the
// program's own record, so that begin, end and the fuse behave as everywhere else.
struct State {
    std::mutex lock;
    bool token = false;
    quint64 generation = 0;
    int begins = 0;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

bool enabled(const Defaults& defaults) { return defaults.realBool(KEY).value_or(true); }

void begin() {
    if (!enabled(Defaults::shared())) return;
    State& s = state();
    quint64 generation = 0;
    {
        std::lock_guard g(s.lock);
        generation = ++s.generation;
        if (!s.token) {
            s.token = true;
            ++s.begins;
        }
    }
    MainQueue::shared().after(FUSE_SECONDS, [generation] {
        State& s = state();
        {
            std::lock_guard g(s.lock);
            if (!s.token || s.generation != generation) return;
        }
        logLine(QStringLiteral("⚠ диктовка: заявка активности висит дольше ") + QString::number(int(FUSE_SECONDS)) +
                QStringLiteral(" с — ") + QStringLiteral("какой-то путь выхода её не снял. Снимаю по предохранителю"));
        end();
    });
}

void end() {
    State& s = state();
    std::lock_guard g(s.lock);
    s.token = false;
}

bool isHeld() {
    State& s = state();
    std::lock_guard g(s.lock);
    return s.token;
}

int beginsForTesting() {
    State& s = state();
    std::lock_guard g(s.lock);
    return s.begins;
}

void resetForTesting() {
    State& s = state();
    std::lock_guard g(s.lock);
    s.token = false;
    s.begins = 0;
}

}  // namespace murmelo::DictationActivity
