#include "layout/SystemLayouts.h"

#include "layout/ManualInputSourceProfileV1.h"

#include <mutex>

namespace murmelo {
namespace SystemLayouts {
namespace {

// Virtual key codes run below 128; the data covers all of them, so that a key outside the
// 48 of the maps still translates.
constexpr quint16 kKeyCodeEnd = 128;

KeyLevel platformLevel(Level level) {
    switch (level) {
    case Level::base: return KeyLevel::Base;
    case Level::shift: return KeyLevel::Shift;
    case Level::option: return KeyLevel::Option;
    case Level::optionShift: return KeyLevel::OptionShift;
    }
    return KeyLevel::Base;
}

std::optional<char32_t> singleCharacter(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    const QList<uint> ucs = text->toUcs4();
    if (ucs.size() != 1) return std::nullopt;
    return static_cast<char32_t>(ucs.front());
}

struct Cache {
    std::mutex lock;
    QHash<QString, KLayout> layouts;
    QSet<QString> known;
};
Cache& cache() {
    static Cache c;
    return c;
}

}  // namespace

const std::array<KeyCode, 48> keyCodes{{
    {U'`', 50}, {U'1', 18}, {U'2', 19}, {U'3', 20}, {U'4', 21}, {U'5', 23}, {U'6', 22}, {U'7', 26},
    {U'8', 28}, {U'9', 25}, {U'0', 29}, {U'-', 27}, {U'=', 24},
    {U'q', 12}, {U'w', 13}, {U'e', 14}, {U'r', 15}, {U't', 17}, {U'y', 16}, {U'u', 32}, {U'i', 34},
    {U'o', 31}, {U'p', 35}, {U'[', 33}, {U']', 30}, {U'\\', 42},
    {U'a', 0},  {U's', 1},  {U'd', 2},  {U'f', 3},  {U'g', 5},  {U'h', 4},  {U'j', 38}, {U'k', 40},
    {U'l', 37}, {U';', 41}, {U'\'', 39},
    {U'z', 6},  {U'x', 7},  {U'c', 8},  {U'v', 9},  {U'b', 11}, {U'n', 45}, {U'm', 46}, {U',', 43},
    {U'.', 47}, {U'/', 44},
    {U' ', 49},
}};

QString rawValue(Level level) {
    switch (level) {
    case Level::base: return QStringLiteral("base");
    case Level::shift: return QStringLiteral("shift");
    case Level::option: return QStringLiteral("option");
    case Level::optionShift: return QStringLiteral("optionShift");
    }
    return {};
}

std::optional<Level> levelFromRaw(const QString& raw) {
    for (Level l : allCases)
        if (rawValue(l) == raw) return l;
    return std::nullopt;
}

quint32 modifiers(Level level) {
    switch (level) {
    case Level::base: return 0;
    case Level::shift: return 2;
    case Level::option: return 8;
    case Level::optionShift: return 10;
    }
    return 0;
}

std::optional<InputSource> inputSource(const QString& id) {
    for (const InputSource& s : InputSources::shared().enabledSources())
        if (s.id == id) return s;
    return std::nullopt;
}

std::vector<InputSource> allInputSources() { return InputSources::shared().enabledSources(); }

std::vector<InputSource> keyboardLayoutSources() { return allInputSources(); }

bool isKeyboardLayout(const QString& sourceID) { return inputSource(sourceID).has_value(); }

std::shared_ptr<const LayoutData> layoutData(const QString& sourceID) {
    if (!isKeyboardLayout(sourceID)) return nullptr;
    const InputSources& sources = InputSources::shared();
    auto data = std::make_shared<LayoutData>();
    data->sourceID = sourceID;
    for (quint16 code = 0; code < kKeyCodeEnd; ++code) {
        for (Level level : allCases)
            if (auto t = sources.translate(sourceID, code, platformLevel(level)))
                data->levels[static_cast<int>(level)].insert(code, *t);
        if (sources.isDeadKey(sourceID, code, false)) data->dead.insert(code);
        if (sources.isDeadKey(sourceID, code, true)) data->deadShift.insert(code);
    }
    return data;
}

std::optional<QString> string(quint16 keyCode, Level level, const LayoutData& data) {
    const auto& map = data.levels[static_cast<int>(level)];
    const auto it = map.constFind(keyCode);
    if (it == map.constEnd() || it->isEmpty()) return std::nullopt;
    return *it;
}

bool isDeadKey(quint16 keyCode, bool shift, const LayoutData& data) {
    return (shift ? data.deadShift : data.dead).contains(keyCode);
}

std::optional<KLayout> buildKeyLayout(const QString& sourceID, const QString& language) {
    const std::optional<InputSource> source = inputSource(sourceID);
    if (!source) return std::nullopt;
    const auto data = layoutData(sourceID);
    if (!data) return std::nullopt;
    QList<std::pair<char32_t, char32_t>> base, shift;
    for (const KeyCode& key : keyCodes) {
        if (auto c = singleCharacter(string(key.code, Level::base, *data))) base.append({key.legend, *c});
        if (auto c = singleCharacter(string(key.code, Level::shift, *data))) shift.append({key.legend, *c});
    }
    if (base.isEmpty()) return std::nullopt;
    const QString name = source->name.isEmpty() ? sourceID : source->name;
    return KLayout(language, name, base, shift);
}

std::optional<KLayout> keyLayout(const QString& sourceID, const QString& language) {
    Cache& c = cache();
    {
        std::lock_guard lock(c.lock);
        if (c.known.contains(sourceID)) {
            const auto it = c.layouts.constFind(sourceID);
            if (it == c.layouts.constEnd()) return std::nullopt;
            return *it;
        }
    }
    // Built without the lock: translating keys may take the platform's own locks.
    std::optional<KLayout> built = buildKeyLayout(sourceID, language);
    std::lock_guard lock(c.lock);
    c.known.insert(sourceID);
    if (built)
        c.layouts.insert(sourceID, *built);
    else
        c.layouts.remove(sourceID);
    return built;
}

void forgetCache() {
    Cache& c = cache();
    std::lock_guard lock(c.lock);
    c.layouts.clear();
    c.known.clear();
}

std::optional<Snapshot> snapshot(const QString& sourceID) {
    const std::optional<InputSource> source = inputSource(sourceID);
    if (!source) return std::nullopt;
    const auto data = layoutData(sourceID);
    if (!data) return std::nullopt;
    Snapshot s;
    s.sourceID = sourceID;
    s.name = source->name.isEmpty() ? sourceID : source->name;
    for (Level level : allCases)
        for (const KeyCode& key : keyCodes)
            if (auto t = string(key.code, level, *data)) s.levels[static_cast<int>(level)].insert(key.legend, *t);
    for (const KeyCode& key : keyCodes)
        if (isDeadKey(key.code, false, *data) || isDeadKey(key.code, true, *data)) s.dead.append(key.legend);
    return s;
}

}  // namespace SystemLayouts

namespace SystemInputSourcePrefs {
namespace {

struct Aliases {
    std::mutex lock;
    std::optional<QHash<QString, QString>> byName;
};
Aliases& aliases() {
    static Aliases a;
    return a;
}

}  // namespace

std::optional<QString> selectedSourceID() {
    const std::optional<InputSource> current = InputSources::shared().currentSource();
    if (!current || current->id.isEmpty()) return std::nullopt;
    return current->id;
}

std::optional<QString> selectedLanguage() { return ManualInputSourceProfileV1::language(selectedSourceID()); }

const QHash<QString, QString>& nameAliases() {
    Aliases& a = aliases();
    std::lock_guard lock(a.lock);
    if (!a.byName) {
        QHash<QString, QString> map;
        for (const InputSource& s : SystemLayouts::allInputSources()) {
            if (s.id.isEmpty()) continue;
            if (!s.name.isEmpty() && !map.contains(s.name)) map.insert(s.name, s.id);
            const QStringList parts = s.id.split(QLatin1Char('.'), Qt::SkipEmptyParts);
            if (!parts.isEmpty() && !map.contains(parts.last())) map.insert(parts.last(), s.id);
        }
        a.byName = std::move(map);
    }
    return *a.byName;
}

std::optional<QString> resolve(const QString& prefsName, const QHash<QString, QString>& aliases) {
    const auto it = aliases.constFind(prefsName);
    if (it == aliases.constEnd()) return std::nullopt;
    return *it;
}

void resetForTesting() {
    Aliases& a = aliases();
    std::lock_guard lock(a.lock);
    a.byName.reset();
}

}  // namespace SystemInputSourcePrefs
}  // namespace murmelo
