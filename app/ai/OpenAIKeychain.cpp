#include "ai/OpenAIKeychain.h"

#include "base/Bundle.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/KeyStore.h"
#include "platform/MainQueue.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace murmelo {

AIKeyResolution resolveAIKeySource(const std::optional<QString>& personal, const std::optional<QString>& bundled) {
    if (personal && !personal->isEmpty()) return {personal, AIKeySource::personal};
    if (bundled && !bundled->isEmpty()) return {bundled, AIKeySource::bundled};
    return {std::nullopt, AIKeySource::none};
}

// One store read running on a worker, which a main-thread reader waits for with a bound.
struct OpenAIKeychain::Pending {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<QString> result;
};

OpenAIKeychain& OpenAIKeychain::shared() {
    // Lives as long as the process: a worker read may still be running at exit.
    static OpenAIKeychain* keychain = new OpenAIKeychain;
    return *keychain;
}

OpenAIKeychain::OpenAIKeychain(KeyStore* store, double mainThreadWaitSeconds)
    : store_(store), mainThreadWait_(mainThreadWaitSeconds) {}

OpenAIKeychain::~OpenAIKeychain() {
    std::shared_ptr<Pending> pending;
    {
        std::lock_guard guard(lock_);
        pending = pending_;
    }
    if (!pending) return;
    std::unique_lock wait(pending->mutex);
    pending->finished.wait(wait, [&] { return pending->done; });
}

KeyStore& OpenAIKeychain::store() const { return store_ ? *store_ : KeyStore::shared(); }

QString OpenAIKeychain::explain(int status) {
    switch (status) {
    case KeyStore::LOCKED: return QStringLiteral("связка заблокирована");
    case KeyStore::NOT_FOUND: return QStringLiteral("записи нет, ключ не вводили");
    case KeyStore::DISMISSED: return QStringLiteral("человек закрыл окно разблокировки связки ключей");
    case KeyStore::NO_SERVICE: return QStringLiteral("службы связки ключей (Secret Service) нет");
    default: return QStringLiteral("код Secret Service");
    }
}

std::optional<QString> OpenAIKeychain::read() {
    {
        std::lock_guard guard(lock_);
        if (cached_) return cached_;
    }
    if (MainQueue::shared().isMainThread()) return readBounded();
    return readFromStore();
}

std::optional<QString> OpenAIKeychain::readFromStore() {
    quint64 generation;
    {
        std::lock_guard guard(lock_);
        generation = generation_;
    }
    const KeyStore::ReadResult r = store().read(service_, account_);
    if (r.status == KeyStore::NOT_FOUND) return std::nullopt;
    int status = r.status;
    if (status == KeyStore::OK) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString key = utf8(r.data);
        if (!utf8.hasError() && !key.isEmpty()) {
            storeCache(key, generation);
            return key;
        }
    }
    logLine(QStringLiteral("Keychain: чтение ключа не удалось, код ") + QString::number(status) + QStringLiteral(" — ") +
            explain(status));
    return std::nullopt;
}

std::optional<QString> OpenAIKeychain::readBounded() {
    std::shared_ptr<Pending> pending;
    {
        std::lock_guard guard(lock_);
        if (!pending_) {
            pending_ = std::make_shared<Pending>();
            std::thread([this, p = pending_] {
                auto result = readFromStore();
                {
                    std::lock_guard guard(lock_);
                    if (pending_ == p) pending_.reset();
                }
                std::lock_guard done(p->mutex);
                p->result = std::move(result);
                p->done = true;
                p->finished.notify_all();
            }).detach();
        }
        pending = pending_;
    }
    std::unique_lock wait(pending->mutex);
    const auto bound = std::chrono::duration<double>(mainThreadWait_);
    if (!pending->finished.wait_for(wait, bound, [&] { return pending->done; })) return std::nullopt;
    return pending->result;
}

void OpenAIKeychain::storeCache(const QString& key, quint64 generation) {
    std::lock_guard guard(lock_);
    if (generation == generation_) cached_ = key;
}

void OpenAIKeychain::clearCache() {
    std::lock_guard guard(lock_);
    cached_.reset();
    ++generation_;
}

void OpenAIKeychain::invalidateCache() { clearCache(); }

bool OpenAIKeychain::save(const QString& key) {
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const QByteArray data = utf8(key);
    if (utf8.hasError()) return false;
    // Written in place: the stored key is never removed before its replacement is in.
    const int status = store().write(service_, account_, QStringLiteral("Ondrix - ключ OpenAI"), data);
    clearCache();
    if (status == KeyStore::OK) return true;
    logLine(QStringLiteral("Keychain: запись ключа не удалась, код ") + QString::number(status) + QStringLiteral(" — ") +
            explain(status));
    return false;
}

bool OpenAIKeychain::repairAccess() {
    clearCache();
    return read().has_value();
}

bool OpenAIKeychain::deleteKey() {
    const int status = store().remove(service_, account_);
    clearCache();
    return status == KeyStore::OK || status == KeyStore::NOT_FOUND;
}

void OpenAIKeychain::warmUp() { read(); }

namespace BundledKey {
namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}
bool resolved = false;
std::optional<QString> cachedValue;
QString testPath;

}  // namespace

std::optional<QString> sanitize(const QString& raw) {
    const QString key = raw.trimmed();
    if (graphemeCount(key) < 20) return std::nullopt;
    for (const QChar c : key)
        if (c.isSpace() || c.unicode() > 0x7F) return std::nullopt;
    return key;
}

std::optional<QString> value() {
    std::lock_guard guard(lock());
    if (resolved) return cachedValue;
    resolved = true;
    const QString path = testPath.isEmpty() ? Bundle::resourcePath(resourceName + u'.' + resourceExtension) : testPath;
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(file.readAll());
    if (utf8.hasError()) return std::nullopt;
    cachedValue = sanitize(text);
    logLine(QStringLiteral("ключ сборки: ") +
            (cachedValue ? QStringLiteral("встроен (") + QString::number(cachedValue->size()) + QStringLiteral(" симв.)")
                         : QStringLiteral("файл есть, но значение не похоже на ключ — игнорирую")));
    return cachedValue;
}

void resetForTesting(const QString& path) {
    std::lock_guard guard(lock());
    resolved = false;
    cachedValue.reset();
    testPath = path;
}

}  // namespace BundledKey
}  // namespace murmelo
