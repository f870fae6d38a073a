#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

namespace murmelo {

class Defaults;

struct CloudActionHistoryItem {
    QString id;     // upper-case UUID text
    QString title;  // one line, at most 60 characters, never empty
    QString text;   // trimmed, never empty
    double date = 0;  // seconds since 1970
    bool operator==(const CloudActionHistoryItem&) const = default;
};

// The recent results of cloud actions, newest first, kept across restarts as JSON bytes under
// "cloudActionHistory.v1". Main thread only. Loaded once at creation; from then on memory is
// the truth and every capture rewrites the stored value.
class CloudActionHistory {
public:
    static CloudActionHistory& shared();
    explicit CloudActionHistory(Defaults& defaults);

    QList<CloudActionHistoryItem> items;
    std::function<void()> onChange;

    void capture(const QString& title, const QString& text, const QDateTime& now = QDateTime::currentDateTimeUtc());

    // A model-supplied action title as a one-line label.
    static QString cleanTitle(const QString& title);

private:
    void load();
    Defaults& defaults_;
    const QString key_ = QStringLiteral("cloudActionHistory.v1");
    const int maximumCount_ = 50;
};

}  // namespace murmelo
