#pragma once
#include <QHash>
#include <QString>
#include <optional>

namespace murmelo {

// Per application: how many finished words were English and Russian, how many of our own
// input-source selections arrived, and how often a lone Latin letter preceded a Russian
// word. The English and Russian counts give the application's learned layout. Kept in the
// user defaults; main thread only.
class LayoutAppStats {
public:
    static constexpr int MIN_TOTAL = 50;
    static constexpr double MIN_SHARE = 0.9;

    explicit LayoutAppStats(QString storeKey = QStringLiteral("layoutAppStats"));

    static LayoutAppStats& shared();
    // Makes the shared instance again, reading the store and the front application (tests).
    static void resetSharedForTesting();

    void noteWord(const std::optional<QString>& lang, bool soloLatin);
    void noteFlip();
    void flush();
    std::optional<QString> prior(const QString& bundle) const;
    static std::optional<QString> activationPrior(qint64 en, qint64 ru, qint64 minTotal = MIN_TOTAL,
                                                  double minShare = MIN_SHARE);
    void appActivated(const std::optional<QString>& bundle, const QString& name);

    QString storeKey;
    QHash<QString, QHash<QString, qint64>> stats;
    QHash<QString, qint64> delta;
    std::optional<QString> bundle;
    QString appName;
    bool lastTokenSoloLatin = false;
};

}  // namespace murmelo
