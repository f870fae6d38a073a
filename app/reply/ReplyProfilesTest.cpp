#include "dictation/DictationNeighbours.h"
#include "reply/ReplyProfiles.h"
#include "vocabulary/AppVocab.h"

#include "TestEnvironment.h"
#include "TestFiles.h"
#include "platform/RunningApplication.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using M = ReplyProfile::Medium;
using T = ReplyProfile::Tone;
using L = ReplyProfile::Length;

QString golden(const QString& name) {
    return QString::fromUtf8(test::readFile(QStringLiteral(MURMELO_REPLY_TESTDATA "/") + name)).chopped(1);
}

TEST(ReplyPromptRules, TheDefaultProfileGivesTheFixedTextOfEachTask) {
    const ReplyProfile profile;
    EXPECT_EQ(profile.promptRules(ReplyTaskKind::reply), golden("prompt-rules-reply.txt"));
    EXPECT_EQ(profile.promptRules(ReplyTaskKind::reply).split(u'\n').size(), 14);
    EXPECT_EQ(profile.promptRules(ReplyTaskKind::compose), golden("prompt-rules-compose.txt"));
    EXPECT_EQ(profile.promptRules(ReplyTaskKind::automatic), golden("prompt-rules-auto.txt"));
    // A translation carries the source over: no profile shapes it.
    for (const ReplyProfile& p : {profile, ReplyProfile{M::letter, T::formal, L::detailed, "Анна", "На «вы»"}})
        EXPECT_EQ(p.promptRules(ReplyTaskKind::translate), "");
}

TEST(ReplyPromptRules, MediumLengthSignatureAndStandingRuleBranches) {
    const QString never = "Never append a signature.";
    const QString put = "When the reply ends with a sign-off, put this name on the following line, exactly as written: ";
    const QString none = "Do not invent a signature or a name placeholder: end with the sign-off line only.";
    const QString standing =
        "The user's own standing rule for this application, which overrides the guidance above where they disagree: ";
    const struct {
        const char* name;
        ReplyProfile profile;
        ReplyTaskKind task;
        QStringList first;  // the opening lines
        QStringList last;   // the closing lines
        int lines;
    } cases[] = {
        {"chat never signs, whatever the signature", {M::chat, T::casual, L::shortForm, "Анна", ""}, ReplyTaskKind::reply,
         {"This is a chat message. One or two sentences."},
         {"Use a relaxed, everyday register, the way colleagues write to each other.",
          "Keep it short: the shortest form that fully answers.", never},
         2 + 7 + 3},
        {"a comment signs with the trimmed name", {M::comment, T::neutral, L::detailed, "  Анна Петрова \n", ""},
         ReplyTaskKind::compose, {"This is a comment in a thread or issue tracker."},
         {"Cover the points of the incoming message explicitly, but do not pad.", put + "Анна Петрова"}, 2 + 3},
        {"a signature of spaces is none; a rule of spaces adds no line", {M::letter, T::formal, L::matchIncoming, "   ", " \n "},
         ReplyTaskKind::reply, {"Write a complete email body, not a bare sentence."},
         {"Use a formal, professional register. Address the reader politely.",
          "Length follows the incoming message: a three-line note does not deserve five paragraphs, and a detailed "
          "letter is not answered with four words.",
          none},
         5 + 7 + 3},
        {"a letter composed opens neutrally and closes with the standing rule",
         {M::letter, T::automatic, L::matchIncoming, "", "\tПиши на «вы».\n"}, ReplyTaskKind::compose,
         {"Write a complete email body, not a bare sentence.",
          "Open with a neutral greeting, or address the recipient by name when the spoken instruction gives one."},
         {none, standing + "Пиши на «вы»."}, 5 + 4},
        {"auto task takes the inferred brief", {M::letter, T::automatic, L::shortForm, "", ""}, ReplyTaskKind::automatic,
         {"Write a complete email body, not a bare sentence.",
          "Open with a greeting addressed to the sender by their first name when the quoted text shows it, otherwise a "
          "neutral greeting."},
         {"Do not invent flattery, emotion, apologies, promises, commitments, or relationship assumptions.",
          "Match the level of formality of the quoted message.", "Keep it short: the shortest form that fully answers.",
          none},
         5 + 7 + 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList lines = c.profile.promptRules(c.task).split(u'\n');
        EXPECT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines.mid(0, c.first.size()), c.first);
        EXPECT_EQ(lines.mid(lines.size() - c.last.size()), c.last);
    }
}

QVariantMap entry(const QString& medium, const QString& tone, const QString& length, const QString& signature,
                  const QString& extra) {
    return {{"medium", medium}, {"tone", tone}, {"length", length}, {"signature", signature}, {"extra", extra}};
}

TEST(ReplyProfilesStore, SavedProfilesComeBackExactlyAndStrangeShapesReadAsNone) {
    test::TestEnvironment env;
    const ReplyProfile own{M::comment, T::casual, L::detailed, " Анна \n", "  без смайликов "};
    ReplyProfiles::save(own, "org.gnome.Evolution", "Evolution");
    EXPECT_TRUE(env.logContains("Профиль ответа: Evolution — сохранён"));
    EXPECT_EQ(ReplyProfiles::stored("org.gnome.Evolution"), own) << "texts kept as given, untrimmed";
    EXPECT_FALSE(ReplyProfiles::stored("org.gnome.evolution")) << "identifiers match exactly";
    EXPECT_EQ(env.defaults().dictionaryValue("replyProfiles").value("org.gnome.Evolution").toMap(),
              entry("comment", "casual", "detailed", " Анна \n", "  без смайликов "));
    EXPECT_EQ(ReplyProfiles::appName("org.gnome.Evolution"), "Evolution");
    EXPECT_EQ(ReplyProfiles::appName("unknown.app"), "unknown.app");

    const struct {
        const char* name;
        QVariant profiles;
        QVariant names;
        std::optional<ReplyProfile> stored;
        QString appName;
    } cases[] = {
        {"a partial entry with an unknown medium", QVariantMap{{"a", QVariantMap{{"medium", "email"}, {"tone", "formal"}}}},
         QVariantMap{{"a", "Почта"}}, ReplyProfile{M::automatic, T::formal, L::matchIncoming, "", ""}, "Почта"},
        {"profiles stored as text", QString("a"), QVariantMap{{"a", "Почта"}}, std::nullopt, "Почта"},
        {"an entry that is not a dictionary", QVariantMap{{"a", "letter"}}, QVariant(), std::nullopt, "a"},
        {"one stray value spoils the whole dictionary",
         QVariantMap{{"a", entry("letter", "auto", "short", "", "")}, {"b", QVariantMap{{"medium", 3}}}},
         QVariantMap{{"a", "Почта"}, {"b", 5}}, std::nullopt, "a"},
        {"profiles as a list", QVariantList{QVariantMap{{"a", entry("letter", "auto", "short", "", "")}}},
         QVariantList{"Почта"}, std::nullopt, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        env.defaults().set("replyProfiles", c.profiles);
        if (c.names.isValid()) env.defaults().set("replyProfiles.names", c.names);
        else env.defaults().remove("replyProfiles.names");
        EXPECT_EQ(ReplyProfiles::stored("a"), c.stored);
        EXPECT_EQ(ReplyProfiles::hasOwnProfile("a"), c.stored.has_value());
        EXPECT_EQ(ReplyProfiles::appName("a"), c.appName);
        EXPECT_EQ(ReplyProfiles::appsWithOwnProfile().size(), c.stored ? 1 : 0);
        EXPECT_EQ(ReplyProfiles::resolve(QString("a"), QuickActionAppCategory::chat),
                  c.stored.value_or(ReplyProfiles::categoryDefault(QuickActionAppCategory::chat)));
    }
    // A save over a value of another shape starts a fresh dictionary.
    ReplyProfiles::save(own, "b", "Второе");
    EXPECT_EQ(env.defaults().dictionaryValue("replyProfiles").keys(), QStringList{"b"});
    EXPECT_EQ(env.defaults().dictionaryValue("replyProfiles.names"), (QVariantMap{{"b", "Второе"}}));
}

TEST(ReplyProfilesStore, AResetRemovesTheProfileAndKeepsTheName) {
    test::TestEnvironment env;
    ReplyProfiles::save(ReplyProfile{}, "mail", "Почта");
    ReplyProfiles::save(ReplyProfile{M::chat, T::casual, L::shortForm, "", ""}, "chat", "Чат");
    ReplyProfiles::save(std::nullopt, "mail", "Почта");
    EXPECT_TRUE(env.logContains("Профиль ответа: Почта — сброшен на умолчание категории"));
    EXPECT_FALSE(ReplyProfiles::hasOwnProfile("mail"));
    EXPECT_TRUE(ReplyProfiles::hasOwnProfile("chat"));
    EXPECT_EQ(ReplyProfiles::appName("mail"), "Почта");
    // A reset of an application without a profile only logs.
    const QVariantMap profiles = env.defaults().dictionaryValue("replyProfiles");
    const QVariantMap names = env.defaults().dictionaryValue("replyProfiles.names");
    ReplyProfiles::save(std::nullopt, "never.saved", "Новое");
    EXPECT_TRUE(env.logContains("Профиль ответа: Новое — сброшен на умолчание категории"));
    EXPECT_EQ(env.defaults().dictionaryValue("replyProfiles"), profiles);
    EXPECT_EQ(env.defaults().dictionaryValue("replyProfiles.names"), names);
}

TEST(ReplyProfilesStore, CategoryDefaultsCarryTheCurrentSignature) {
    test::TestEnvironment env;
    using C = QuickActionAppCategory;
    const auto check = [](const QString& signature) {
        EXPECT_EQ(ReplyProfiles::categoryDefault(C::mail), (ReplyProfile{M::letter, T::automatic, L::matchIncoming, signature, ""}));
        EXPECT_EQ(ReplyProfiles::categoryDefault(C::browser), (ReplyProfile{M::automatic, T::automatic, L::matchIncoming, signature, ""}));
        EXPECT_EQ(ReplyProfiles::categoryDefault(C::chat), (ReplyProfile{M::chat, T::automatic, L::shortForm, "", ""}));
        EXPECT_EQ(ReplyProfiles::categoryDefault(C::document), ReplyProfile{});
        EXPECT_EQ(ReplyProfiles::categoryDefault(C::generic), ReplyProfile{});
        EXPECT_EQ(ReplyProfiles::resolve(std::nullopt, C::mail), ReplyProfiles::categoryDefault(C::mail));
    };
    check("");
    ReplyProfile::setDefaultSignature("  Иван Петров \n");
    check("Иван Петров");
    ReplyProfile::setDefaultSignature("   ");
    EXPECT_TRUE(env.logLines().last().endsWith("Подпись в письмах: не подписывать"));
    check("");
    EXPECT_EQ(ruTitle(C::chat), "мессенджер");
}

struct Self : RunningApplication {
    std::optional<QString> bundleIdentifier() const override { return QStringLiteral("com.local.murmelo"); }
    QString bundlePath() const override { return {}; }
    QString executablePath() const override { return {}; }
    std::optional<QDateTime> executableModificationTime() const override { return std::nullopt; }
    CodeSignature codeSignature() const override { return {}; }
};

TEST(ReplyProfilesPicker, OwnThenRecentThenRunningEachOnceInCollationOrder) {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    ScopedService<Workspace> workspaceScope{desktop};
    Self self;
    ScopedService<RunningApplication> selfScope{self};
    desktop.addApp("org.mozilla.thunderbird", "Thunderbird");
    desktop.addApp("org.telegram.desktop", "Telegram");
    desktop.addApp("firefox", "firefox");
    desktop.addApp("org.gnome.gedit", "gedit");
    desktop.addApp("com.local.murmelo", "Ondrix");
    desktop.addApp("org.freedesktop.Tracker", "Tracker").hasWindow = false;
    desktop.addApp("org.kde.kate", "Kate").running = false;
    ReplyProfiles::save(ReplyProfile{}, "org.mozilla.thunderbird", "Thunderbird");
    ReplyProfiles::save(ReplyProfile{}, "zed", "zed");
    AppVocab::noteUse(DictationContext{"org.gnome.gedit", "Текстовый редактор"});
    AppVocab::noteUse(DictationContext{"org.kde.kate", "Kate"});

    using E = ReplyProfiles::PickerEntry;
    EXPECT_EQ(ReplyProfiles::pickerEntries(), (QList<E>{
                                                  {"org.mozilla.thunderbird", "Thunderbird", true},
                                                  {"zed", "zed", true},
                                                  {"org.kde.kate", "Kate", false},
                                                  {"org.gnome.gedit", "Текстовый редактор", false},
                                                  {"firefox", "firefox", false},
                                                  {"org.telegram.desktop", "Telegram", false},
                                              }));
}

}  // namespace
