#include "ai/QuickActionID.h"

#include <QStringList>
#include <array>

namespace murmelo {
namespace {

struct ActionRow {
    QuickActionID id;
    const char* raw;
    const char* title;
    const char* symbol;
    const char* instruction;  // nullptr: handled locally
};

const std::array<ActionRow, 12>& actionRows() {
    static const std::array<ActionRow, 12> rows{{
        {QuickActionID::copy, "copy", "Копировать", "doc.on.doc", nullptr},
        {QuickActionID::improve, "improve", "Улучшить", "text.badge.checkmark",
         "Correct grammar, spelling, punctuation, and clarity with the smallest useful change.\n"
         "Preserve the author's sentence structure, directness, contractions, vocabulary, and personal voice."},
        {QuickActionID::translate, "translate", "Перевести", "character.book.closed",
         "Translate English text into natural Russian; translate Russian or other languages into natural English.\n"
         "Preserve tone, formality, paragraph structure, names, numbers, links, and the author's level of directness."},
        {QuickActionID::shorter, "shorter", "Сократить", "text.line.first.and.arrowtriangle.forward",
         "Make the text materially shorter without losing facts, requests, qualifications, or the author's voice.\n"
         "Prefer deletion and compression over rewriting everything."},
        {QuickActionID::business, "business", "Деловой", "briefcase",
         "Make the text appropriate for a clear professional business message while keeping it human and direct.\n"
         "Do not add corporate filler, ceremonial greetings, or exaggerated politeness."},
        {QuickActionID::friendly, "friendly", "Дружелюбнее", "face.smiling",
         "Make the text warmer and more conversational while preserving the author's directness.\n"
         "Do not add enthusiasm, emojis, exclamation marks, or compliments that were not already implied."},
        {QuickActionID::naturalEnglish, "naturalEnglish", "Как носитель", "globe",
         "Rewrite the text the way a fluent native English speaker would naturally phrase it.\n"
         "Fix grammar, articles, prepositions, word choice, and unidiomatic phrasing that reveal a non-native author.\n"
         "Keep the author's sentence structure, order of points, meaning, and level of directness.\n"
         "Do not add positivity, enthusiasm, hedging, or politeness that was not already there.\n"
         "Keep technical terms, product names, code fragments, and quoted text exactly as written.\n"
         "If the source is not in English, render its intent in natural English rather than word-by-word."},
        {QuickActionID::summarize, "summarize", "Кратко", "text.alignleft",
         "Summarize the selected text clearly in the same language.\n"
         "Keep the result to two to four short sentences unless the source is extremely short.\n"
         "Preserve the central claim, important qualifications, names, dates, and numbers."},
        {QuickActionID::explain, "explain", "Объяснить", "lightbulb",
         "Explain the selected text in plain language, in the same language as the source.\n"
         "Clarify technical terms and implied relationships without adding unsupported facts.\n"
         "Keep the explanation concise and directly useful."},
        {QuickActionID::reply, "reply", "Ответить", "arrowshape.turn.up.left",
         "Draft one concise reply to the selected text in its language and approximate level of formality.\n"
         "Do not invent facts, commitments, dates, meetings, attachments, or actions.\n"
         "If essential information is missing, keep a short visible placeholder and require confirmation."},
        {QuickActionID::addToDictionary, "addToDictionary", "В словарь", "plus.circle", nullptr},
        {QuickActionID::more, "more", "Ещё", "ellipsis", nullptr},
    }};
    return rows;
}

const ActionRow& row(QuickActionID id) { return actionRows()[size_t(id)]; }

struct CategoryGroup {
    QuickActionAppCategory category;
    QStringList entries;
};

// The desktop's own ids of the same kinds of programs follow each group's first entries:
// desktop-file ids and lower-cased window classes, as the workspace reports them. They are
// specific enough that a containment test cannot catch an unrelated program.
const QList<CategoryGroup>& categoryGroups() {
    static const QList<CategoryGroup> groups{
        {QuickActionAppCategory::mail,
         {"com.apple.mail", "com.microsoft.outlook", "com.readdle.smartemail-macos", "io.canarymail.mac",
          "com.freron.mailmate", "thunderbird", "betterbird", "org.gnome.evolution", "evolution", "org.gnome.geary",
          "geary", "org.kde.kmail", "kmail", "claws-mail", "mailspring"}},
        {QuickActionAppCategory::chat,
         {"com.tinyspeck.slackmacgap", "com.microsoft.teams", "ru.keepcoder.telegram", "net.whatsapp.whatsapp",
          "com.hnc.discord", "com.apple.messages", "com.slack.slack", "slack", "teams-for-linux", "org.telegram.desktop",
          "telegramdesktop", "telegram-desktop", "whatsapp", "discord", "signal-desktop", "org.signal.signal",
          "element-desktop", "im.riot.riot", "zulip"}},
        {QuickActionAppCategory::document,
         {"com.apple.pages", "com.apple.textedit", "com.apple.notes", "notion.id", "md.obsidian", "com.microsoft.word",
          "com.coteditor.coteditor", "libreoffice-writer", "libreoffice", "org.gnome.texteditor", "gnome-text-editor",
          "org.gnome.gedit", "gedit", "org.xfce.mousepad", "mousepad", "featherpad", "org.kde.kate", "org.kde.kwrite",
          "abiword", "obsidian", "notion-app"}},
        {QuickActionAppCategory::browser,
         {"com.apple.safari", "com.google.chrome", "com.brave.browser", "org.mozilla.firefox", "company.thebrowser.browser",
          "firefox", "google-chrome", "chromium", "brave-browser", "microsoft-edge", "vivaldi", "org.gnome.epiphany",
          "librewolf", "org.kde.falkon"}},
    };
    return groups;
}

const char* const CATEGORY_RAW[] = {"mail", "chat", "document", "browser", "generic"};

}  // namespace

namespace QuickActionIDs {

const QList<QuickActionID>& allCases() {
    static const QList<QuickActionID> all = [] {
        QList<QuickActionID> list;
        for (const ActionRow& r : actionRows()) list << r.id;
        return list;
    }();
    return all;
}

QString rawValue(QuickActionID action) { return QString::fromLatin1(row(action).raw); }

std::optional<QuickActionID> fromRawValue(const QString& raw) {
    for (const ActionRow& r : actionRows())
        if (raw == QLatin1String(r.raw)) return r.id;
    return std::nullopt;
}

QString title(QuickActionID action) { return QString::fromUtf8(row(action).title); }

QString hint(QuickActionID action) {
    if (action == QuickActionID::addToDictionary)
        return QStringLiteral("Добавить в словарь Ondrix - это слово ей незнакомо, и правки его не тронут");
    return title(action);
}

QString symbolName(QuickActionID action) { return QString::fromLatin1(row(action).symbol); }

std::optional<QString> instruction(QuickActionID action) {
    if (!row(action).instruction) return std::nullopt;
    return QString::fromUtf8(row(action).instruction);
}

}  // namespace QuickActionIDs

namespace QuickActionAppCategories {

QString rawValue(QuickActionAppCategory category) { return QString::fromLatin1(CATEGORY_RAW[int(category)]); }

std::optional<QuickActionAppCategory> fromRawValue(const QString& raw) {
    for (int i = 0; i < 5; ++i)
        if (raw == QLatin1String(CATEGORY_RAW[i])) return QuickActionAppCategory(i);
    return std::nullopt;
}

QuickActionAppCategory classify(const QString& bundleID) {
    const QString id = bundleID.toLower();
    for (const CategoryGroup& group : categoryGroups())
        for (const QString& entry : group.entries)
            if (id.contains(entry)) return group.category;
    return QuickActionAppCategory::generic;
}

}  // namespace QuickActionAppCategories
}  // namespace murmelo
