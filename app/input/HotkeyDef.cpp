#include "input/HotkeyDef.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"

namespace murmelo {

const QString OFF_HOTKEY_TITLE = QStringLiteral("выключено");

const std::array<HotkeyDef, 5>& HOTKEY_OPTIONS() {
    static const std::array<HotkeyDef, 5> options = {{
        {54, 0x100000, QStringLiteral("правый Ctrl")},
        {61, 0x80000, QStringLiteral("правый Alt")},
        {60, 0x20000, QStringLiteral("правый Shift")},
        {55, 0x100000, QStringLiteral("левый Ctrl")},
        {63, 0x800000, QStringLiteral("Fn (🌐)")},
    }};
    return options;
}

namespace {

// Right Control is never a hotkey: it is what the system uses for its own chords.
constexpr qint64 kRightControl = 62;

std::optional<HotkeyDef> option(qint64 code) {
    for (const HotkeyDef& d : HOTKEY_OPTIONS())
        if (d.code == code) return d;
    return std::nullopt;
}

// A stored integer, or the fallback when absent or not an integer; 62 reads as the fallback.
qint64 storedCode(const QString& key, qint64 fallback) {
    const auto v = Defaults::shared().object(key);
    if (!v) return fallback;
    const int type = v->typeId();
    if (type != QMetaType::LongLong && type != QMetaType::Int && type != QMetaType::ULongLong &&
        type != QMetaType::UInt && type != QMetaType::Long)
        return fallback;
    const qint64 code = v->toLongLong();
    return code == kRightControl ? fallback : code;
}

struct Cache {
    std::optional<HotkeyDef> dictation;
    std::optional<std::optional<HotkeyDef>> command;
    std::optional<std::optional<HotkeyDef>> polish;
};

Cache& cache() {
    static Cache c;
    return c;
}

void store(const QString& key, qint64 code) { Defaults::shared().set(key, QVariant::fromValue<qlonglong>(code)); }

}  // namespace

HotkeyDef currentHotkey() {
    const qint64 code = Defaults::shared().integerValue(HotkeyKeys::dictation);
    if (code == 55 || code == 60 || code == 61 || code == 63) return *option(code);
    return *option(DEFAULT_DICTATION_HOTKEY_CODE);
}

std::optional<HotkeyDef> resolveCommandHotkey(qint64 commandCode, qint64 dictationCode) {
    if (commandCode == dictationCode) return std::nullopt;
    return option(commandCode);
}

std::optional<HotkeyDef> resolvePolishHotkey(qint64 polishCode, qint64 dictationCode,
                                             std::optional<qint64> commandCode) {
    if (polishCode == dictationCode) return std::nullopt;
    if (commandCode && polishCode == *commandCode) return std::nullopt;
    return option(polishCode);
}

std::optional<HotkeyDef> currentCommandHotkey() {
    return resolveCommandHotkey(storedCode(HotkeyKeys::command, DEFAULT_COMMAND_HOTKEY_CODE), currentHotkey().code);
}

std::optional<HotkeyDef> currentPolishHotkey() {
    const qint64 code = storedCode(HotkeyKeys::polish, DEFAULT_POLISH_HOTKEY_CODE);
    const HotkeyDef dictation = currentHotkey();
    const auto command = currentCommandHotkey();
    return resolvePolishHotkey(code, dictation.code, command ? std::optional<qint64>(command->code) : std::nullopt);
}

const HotkeyDef& activeHotkey() {
    Cache& c = cache();
    if (!c.dictation) c.dictation = currentHotkey();
    return *c.dictation;
}

const std::optional<HotkeyDef>& activeCommandHotkey() {
    Cache& c = cache();
    if (!c.command) c.command = currentCommandHotkey();
    return *c.command;
}

const std::optional<HotkeyDef>& activePolishHotkey() {
    Cache& c = cache();
    if (!c.polish) c.polish = currentPolishHotkey();
    return *c.polish;
}

QString commandHotkeyName() {
    const auto& c = activeCommandHotkey();
    return c ? c->name : OFF_HOTKEY_TITLE;
}

QString polishHotkeyName() {
    const auto& p = activePolishHotkey();
    return p ? p->name : QStringLiteral("нет");
}

QString hotkeyTitle(const std::optional<HotkeyDef>& hotkey) {
    if (!hotkey) return L(QStringLiteral("hotkey.off"), OFF_HOTKEY_TITLE);
    const char* key = nullptr;
    switch (hotkey->code) {
    case 54: key = "onboard.key.rightCommand"; break;
    case 55: key = "onboard.key.leftCommand"; break;
    case 60: key = "onboard.key.rightShift"; break;
    case 61: key = "onboard.key.rightOption"; break;
    case 63: key = "onboard.key.fn"; break;
    default: return hotkey->name;
    }
    return L(QString::fromLatin1(key), hotkey->name);
}

void refreshCommandHotkey() {
    cache().command = currentCommandHotkey();
    const auto& c = *cache().command;
    logLine(QStringLiteral("клавиша команд → ") + (c ? c->name : QStringLiteral("выключена")));
}

void refreshPolishHotkey() {
    cache().polish = currentPolishHotkey();
    const auto& p = *cache().polish;
    logLine(QStringLiteral("клавиша полировки: ") + (p ? p->name : QStringLiteral("нет (выключена или занята)")));
}

void setHotkey(qint64 code) {
    store(HotkeyKeys::dictation, code == kRightControl ? DEFAULT_DICTATION_HOTKEY_CODE : code);
    cache().dictation = currentHotkey();
    logLine(QStringLiteral("горячая клавиша → ") + cache().dictation->name);
    // A new dictation key can switch the other two off or back on.
    refreshCommandHotkey();
    refreshPolishHotkey();
}

void setCommandHotkey(qint64 code) {
    store(HotkeyKeys::command, code == kRightControl ? DEFAULT_COMMAND_HOTKEY_CODE : code);
    refreshCommandHotkey();
    refreshPolishHotkey();
}

void disableCommandHotkey() {
    store(HotkeyKeys::command, COMMAND_HOTKEY_OFF);
    refreshCommandHotkey();
    refreshPolishHotkey();
}

void setCommandHotkeyEnabled(bool enabled) {
    if (enabled) {
        store(HotkeyKeys::command, storedCode(HotkeyKeys::commandLastEnabled, DEFAULT_COMMAND_HOTKEY_CODE));
    } else {
        if (const auto current = currentCommandHotkey()) store(HotkeyKeys::commandLastEnabled, current->code);
        store(HotkeyKeys::command, COMMAND_HOTKEY_OFF);
    }
    refreshCommandHotkey();
    refreshPolishHotkey();
}

void setPolishHotkey(qint64 code) {
    store(HotkeyKeys::polish, code == kRightControl ? DEFAULT_POLISH_HOTKEY_CODE : code);
    refreshPolishHotkey();
}

void disablePolishHotkey() {
    store(HotkeyKeys::polish, POLISH_HOTKEY_OFF);
    refreshPolishHotkey();
}

bool HotkeyKeyState::isDown(const HotkeyDef& hotkey, qint64 keyCode, quint64 flags) {
    const quint64 b = bit(keyCode);
    if ((flags & hotkey.mask) != hotkey.mask || (held_ & b) != 0) {
        held_ &= ~b;
        return false;
    }
    held_ |= b;
    return true;
}

void resetHotkeyCacheForTesting() { cache() = Cache{}; }

}  // namespace murmelo
