#include "sim/SimInputSources.h"

#include "platform/MainQueue.h"

namespace murmelo::sim {
namespace {

// The printable keys of a PC keyboard by physical position: virtual key codes in the order
// of the rows (grave and digits, top letter row, home row, bottom row), then space.
constexpr int kKeys[] = {50, 18, 19, 20, 21, 23, 22, 26, 28, 25, 29, 27, 24,
                         12, 13, 14, 15, 17, 16, 32, 34, 31, 35, 33, 30, 42,
                         0,  1,  2,  3,  5,  4,  38, 40, 37, 41, 39,
                         6,  7,  8,  9,  11, 45, 46, 43, 47, 44, 49};

SimInputSources::Layout makeLayout(const QString& id, const QString& name, const QString& base, const QString& shift) {
    SimInputSources::Layout l;
    l.source = {id, name};
    int i = 0;
    for (int key : kKeys) {
        l.levels[0].insert(key, base.at(i));
        l.levels[1].insert(key, shift.at(i));
        ++i;
    }
    return l;
}

}  // namespace

SimInputSources::Layout SimInputSources::usLayout() {
    return makeLayout(QStringLiteral("com.apple.keylayout.US"), QStringLiteral("English (US)"),
                      QStringLiteral("`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./ "),
                      QStringLiteral("~!@#$%^&*()_+QWERTYUIOP{}|ASDFGHJKL:\"ZXCVBNM<>? "));
}

SimInputSources::Layout SimInputSources::russianLayout() {
    return makeLayout(QStringLiteral("com.apple.keylayout.Russian"), QStringLiteral("Russian"),
                      QStringLiteral("ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю. "),
                      QStringLiteral("Ё!\"№;%:?*()_+ЙЦУКЕНГШЩЗХЪ/ФЫВАПРОЛДЖЭЯЧСМИТЬБЮ, "));
}

SimInputSources SimInputSources::usRussian() {
    SimInputSources s;
    s.addLayout(usLayout());
    s.addLayout(russianLayout());
    return s;
}

void SimInputSources::addLayout(Layout l) {
    enabled_ << l.source.id;
    if (current_.isEmpty()) current_ = l.source.id;
    layouts_.push_back(std::move(l));
}

const SimInputSources::Layout* SimInputSources::layout(const QString& id) const {
    for (const auto& l : layouts_)
        if (l.source.id == id) return &l;
    return nullptr;
}

void SimInputSources::change(const QString& sourceId) {
    if (current_ == sourceId) return;
    current_ = sourceId;
    const InputSource s = layout(sourceId)->source;
    MainQueue::shared().post([this, s] {
        if (onSelect_) onSelect_(s);
    });
}

void SimInputSources::userSelects(const QString& sourceId) {
    if (enabled_.contains(sourceId)) change(sourceId);
}

void SimInputSources::setEnabled(const QStringList& sourceIds) {
    enabled_.clear();
    for (const QString& id : sourceIds)
        if (layout(id)) enabled_ << id;
    if (!enabled_.contains(current_)) current_ = enabled_.value(0);
    MainQueue::shared().post([this] {
        if (onEnabled_) onEnabled_();
    });
}

std::vector<InputSource> SimInputSources::enabledSources() const {
    std::vector<InputSource> out;
    for (const QString& id : enabled_) out.push_back(layout(id)->source);
    return out;
}

std::optional<InputSource> SimInputSources::currentSource() const {
    if (const Layout* l = layout(current_)) return l->source;
    return std::nullopt;
}

bool SimInputSources::select(const QString& sourceId) {
    selectCalls << sourceId;
    if (refuseSelection || !enabled_.contains(sourceId)) return false;
    if (!loseSelection) change(sourceId);
    return true;
}

std::optional<QString> SimInputSources::translate(const QString& sourceId, int keyCode, KeyLevel level) const {
    const Layout* l = layout(sourceId);
    if (!l) return std::nullopt;
    const auto& map = l->levels[static_cast<int>(level)];
    auto it = map.find(keyCode);
    if (it == map.end()) return std::nullopt;
    return *it;
}

bool SimInputSources::isDeadKey(const QString& sourceId, int keyCode, bool shift) const {
    const Layout* l = layout(sourceId);
    return l && (shift ? l->deadShift : l->dead).contains(keyCode);
}

void SimInputSources::setSelectionHandler(std::function<void(const InputSource&)> handler) {
    onSelect_ = std::move(handler);
}

void SimInputSources::setEnabledSourcesHandler(std::function<void()> handler) { onEnabled_ = std::move(handler); }

}  // namespace murmelo::sim
