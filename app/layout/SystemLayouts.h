#pragma once
#include "layout/KLayout.h"
#include "platform/InputSources.h"

#include <QSet>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// The one reader of the keyboard layouts installed on the machine: finds input sources,
// translates keys under a layout and builds the layout records of the layout maps, with a
// cache. Everything that fails here is an absent result, never an error, and nothing is
// logged.
namespace SystemLayouts {

// A physical key: the character it bears on the US layout and its virtual key code.
struct KeyCode {
    char32_t legend;
    quint16 code;
};
// The 48 keys the layout maps know, row by row, the space bar last.
extern const std::array<KeyCode, 48> keyCodes;

enum class Level { base, shift, option, optionShift };
inline constexpr std::array<Level, 4> allCases{Level::base, Level::shift, Level::option, Level::optionShift};
QString rawValue(Level level);
// Only the four raw values, letter case included, make a level.
std::optional<Level> levelFromRaw(const QString& raw);
// The modifier state of the level as key translation takes it: Shift 2, Option 8.
quint32 modifiers(Level level);

// What every key of an input source produces at each level, and which keys are dead, read
// once: translating with it asks the system nothing more.
struct LayoutData {
    QString sourceID;
    std::array<QHash<quint16, QString>, 4> levels;
    QSet<quint16> dead;
    QSet<quint16> deadShift;
};

std::optional<InputSource> inputSource(const QString& id);
std::vector<InputSource> allInputSources();
// On X11 every configured group is a keyboard layout with a key map, so these are all sources.
std::vector<InputSource> keyboardLayoutSources();
bool isKeyboardLayout(const QString& sourceID);
std::shared_ptr<const LayoutData> layoutData(const QString& sourceID);
// What the key produces at the level under the data; nothing for a dead key or no output.
std::optional<QString> string(quint16 keyCode, Level level, const LayoutData& data);
bool isDeadKey(quint16 keyCode, bool shift, const LayoutData& data);

// A fresh record from the system: each key's single character without and with Shift.
std::optional<KLayout> buildKeyLayout(const QString& sourceID, const QString& language);
// The same, built once per source identifier; a failed build is remembered too.
std::optional<KLayout> keyLayout(const QString& sourceID, const QString& language);
void forgetCache();

// All four levels of a layout, several-character outputs included, and its dead keys.
struct Snapshot {
    QString sourceID;
    QString name;
    std::array<QHash<char32_t, QString>, 4> levels;
    QList<char32_t> dead;  // in key-table order
    const QHash<char32_t, QString>& at(Level level) const { return levels[static_cast<int>(level)]; }
    const QHash<char32_t, QString>& base() const { return at(Level::base); }
    const QHash<char32_t, QString>& shift() const { return at(Level::shift); }
};
std::optional<Snapshot> snapshot(const QString& sourceID);

}  // namespace SystemLayouts

// Which keyboard layout the system records as selected, and the display names by which
// layouts are known.
namespace SystemInputSourcePrefs {

// On X11 the keyboard's locked group is the only record of the selection, so this is the
// current source, read afresh on every call; nothing when none can be read.
std::optional<QString> selectedSourceID();
// "en" or "ru" for the two profile layouts, nothing for any other.
std::optional<QString> selectedLanguage();
// Display name -> source identifier, built once from the installed sources: each source's
// display name and the last dot-separated part of its identifier; the first source to
// offer a name keeps it.
const QHash<QString, QString>& nameAliases();
std::optional<QString> resolve(const QString& prefsName, const QHash<QString, QString>& aliases);
// Forgets the names, so that a test's simulated sources are read again.
void resetForTesting();

}  // namespace SystemInputSourcePrefs
}  // namespace murmelo
