#pragma once
#include "platform/InputSources.h"

#include <QHash>
#include <QSet>

namespace murmelo::sim {

// A simulated keyboard with input sources. Changes, whether the program selected a source
// or the "user" switched, reach the handlers through the main queue, as a system
// notification would arrive later than the call that caused it.
class SimInputSources : public InputSources {
public:
    struct Layout {
        InputSource source;
        // Per level: key code -> produced text.
        QHash<int, QString> levels[4];
        QSet<int> dead;
        QSet<int> deadShift;
    };

    SimInputSources() = default;
    // The two layouts of a Russian user: US English and Russian (ЙЦУКЕН), with the
    // letters, digits, punctuation and space of a PC keyboard, the US one current.
    static SimInputSources usRussian();
    static Layout usLayout();
    static Layout russianLayout();

    void addLayout(Layout layout);
    // The user's own switch (a hot key, the panel): no select() call involved.
    void userSelects(const QString& sourceId);
    // Replaces the enabled sources (by id, in order) and tells the handler.
    void setEnabled(const QStringList& sourceIds);
    // select() answers false from now on, as a system that refuses.
    bool refuseSelection = false;
    // select() answers true and changes nothing, as a system that loses the request.
    bool loseSelection = false;
    // Every select() call, in order.
    QStringList selectCalls;

    // InputSources
    std::vector<InputSource> enabledSources() const override;
    std::optional<InputSource> currentSource() const override;
    bool select(const QString& sourceId) override;
    std::optional<QString> translate(const QString& sourceId, int keyCode, KeyLevel level) const override;
    bool isDeadKey(const QString& sourceId, int keyCode, bool shift) const override;
    void setSelectionHandler(std::function<void(const InputSource&)> handler) override;
    void setEnabledSourcesHandler(std::function<void()> handler) override;

private:
    const Layout* layout(const QString& id) const;
    void change(const QString& sourceId);

    std::vector<Layout> layouts_;
    QStringList enabled_;
    QString current_;
    std::function<void(const InputSource&)> onSelect_;
    std::function<void()> onEnabled_;
};

}  // namespace murmelo::sim
