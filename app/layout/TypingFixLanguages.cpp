#include "layout/TypingFixLanguages.h"

#include "layout/ManualInputSourceProfileV1.h"
#include "platform/InputSources.h"

#include <mutex>
#include <optional>

namespace murmelo::TypingFixLanguages {

namespace {

// The kept answer belongs to one backend; the watcher that forgets it is installed on that
// backend once.
struct Cache {
    std::mutex lock;
    std::optional<bool> answer;
    quint64 backend = 0;
    quint64 watched = 0;
};

Cache& cache() {
    static Cache c;
    return c;
}

}  // namespace

QSet<QString> enabledSourceIDs() {
    QSet<QString> ids;
    for (const InputSource& s : InputSources::shared().enabledSources())
        if (!s.id.isEmpty()) ids.insert(s.id);
    return ids;
}

bool isAvailable() {
    // A switch for machines whose Russian layout must be ignored.
    if (qEnvironmentVariable("MURMELO_NO_CYRILLIC_LAYOUT") == QLatin1String("1")) return false;
    InputSources& sources = InputSources::shared();
    Cache& c = cache();
    {
        std::lock_guard guard(c.lock);
        if (c.answer && c.backend == sources.serial()) return *c.answer;
    }
    const bool answer = enabledSourceIDs().contains(ManualInputSourceProfileV1::russianApple);
    bool watch = false;
    {
        std::lock_guard guard(c.lock);
        c.answer = answer;
        c.backend = sources.serial();
        watch = c.watched != sources.serial();
        c.watched = sources.serial();
    }
    if (watch) {
        sources.setEnabledSourcesHandler([serial = sources.serial()] {
            Cache& c = cache();
            std::lock_guard guard(c.lock);
            if (c.backend == serial) c.answer.reset();
        });
    }
    return answer;
}

}  // namespace murmelo::TypingFixLanguages
