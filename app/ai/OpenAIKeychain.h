#pragma once
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace murmelo {

class KeyStore;

// Where the key of a key-route request comes from.
enum class AIKeySource { personal, bundled, none };

struct AIKeyResolution {
    std::optional<QString> key;
    AIKeySource source = AIKeySource::none;
};
// The personal key wins when present and not empty, else the build key; nothing is trimmed.
AIKeyResolution resolveAIKeySource(const std::optional<QString>& personal, const std::optional<QString>& bundled);

// The user's personal key in the desktop's secret store. Reads are cached and safe from any
// thread; a read on the main thread with an empty cache waits for the store only a short
// bound (an unlock prompt may hold it), leaving the read to finish on a worker that fills the
// cache. No key material ever reaches the log.
class OpenAIKeychain {
public:
    // A main-thread read with an empty cache waits this long for the store.
    static constexpr double MAIN_THREAD_WAIT_SECONDS = 0.5;
    // The defaults key of the start-up's one successful access check.
    static inline const QString ACCESS_REPAIRED_KEY = QStringLiteral("keychain.accessRepaired.v1");

    static OpenAIKeychain& shared();
    // Tests give their own store and bound.
    explicit OpenAIKeychain(KeyStore* store = nullptr, double mainThreadWaitSeconds = MAIN_THREAD_WAIT_SECONDS);
    ~OpenAIKeychain();
    OpenAIKeychain(const OpenAIKeychain&) = delete;
    OpenAIKeychain& operator=(const OpenAIKeychain&) = delete;

    std::optional<QString> read();
    // Writes the key in place of the stored one; a failed write leaves the stored key as it was.
    bool save(const QString& key);
    // Nothing on this desktop keeps a per-application trust list: true when a key can be read,
    // false when none; the item is never touched.
    bool repairAccess();
    bool deleteKey();
    void invalidateCache();
    // Fills the cache on the calling thread (a worker at start-up).
    void warmUp();

    static QString explain(int status);

private:
    struct Pending;
    KeyStore& store() const;
    std::optional<QString> readFromStore();
    std::optional<QString> readBounded();
    void storeCache(const QString& key, quint64 generation);
    void clearCache();

    const QString service_ = QStringLiteral("com.local.murmelo.openai");
    const QString account_ = QStringLiteral("api-key");
    KeyStore* store_;
    double mainThreadWait_;
    std::optional<QString> cached_;
    // Bumped whenever the cache is cleared, so that a read begun before a save or delete does
    // not put back the key it saw.
    quint64 generation_ = 0;
    std::mutex lock_;
    std::shared_ptr<Pending> pending_;  // a store read still running on a worker
};

// The build key: the resource "bundled-key.txt", read once per process.
namespace BundledKey {
inline const QString resourceName = QStringLiteral("bundled-key");
inline const QString resourceExtension = QStringLiteral("txt");
std::optional<QString> value();
std::optional<QString> sanitize(const QString& raw);
// Tests: resolve again, from this file (an empty path: the application's resource).
void resetForTesting(const QString& path = {});
}  // namespace BundledKey

}  // namespace murmelo
