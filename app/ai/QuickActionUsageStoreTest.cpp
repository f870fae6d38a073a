#include "ai/QuickActionID.h"
#include "ai/QuickActionUsageStore.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using A = QuickActionID;
using Cat = QuickActionAppCategory;

TEST(QuickActionCatalogue, RawValuesTitlesAndInstructions) {
    ASSERT_EQ(QuickActionIDs::allCases().size(), 12);
    EXPECT_EQ(QuickActionIDs::allCases().first(), A::copy);
    EXPECT_EQ(QuickActionIDs::allCases().last(), A::more);
    int cloud = 0;
    for (const A a : QuickActionIDs::allCases()) {
        EXPECT_EQ(QuickActionIDs::fromRawValue(QuickActionIDs::rawValue(a)), a);
        if (a != A::addToDictionary) EXPECT_EQ(QuickActionIDs::hint(a), QuickActionIDs::title(a));
        if (const auto text = QuickActionIDs::instruction(a)) {
            ++cloud;
            EXPECT_FALSE(text->endsWith(u'\n'));
        }
    }
    EXPECT_EQ(cloud, 9);
    for (const A local : {A::copy, A::addToDictionary, A::more}) EXPECT_FALSE(QuickActionIDs::instruction(local));
    EXPECT_EQ(QuickActionIDs::rawValue(A::naturalEnglish), "naturalEnglish");
    EXPECT_EQ(QuickActionIDs::title(A::friendly), "Дружелюбнее");
    EXPECT_EQ(QuickActionIDs::hint(A::addToDictionary),
              "Добавить в словарь Ondrix - это слово ей незнакомо, и правки его не тронут");
    EXPECT_EQ(QuickActionIDs::symbolName(A::shorter), "text.line.first.and.arrowtriangle.forward");
    EXPECT_EQ(QuickActionIDs::instruction(A::summarize)->count(u'\n'), 2);
    EXPECT_FALSE(QuickActionIDs::fromRawValue("Improve"));
    EXPECT_FALSE(QuickActionAppCategories::fromRawValue("Mail"));
    EXPECT_EQ(QuickActionAppCategories::fromRawValue("browser"), Cat::browser);
}

TEST(QuickActionCatalogue, ClassifyByContainmentInGroupOrder) {
    const struct {
        const char* id;
        Cat expect;
    } cases[] = {
        {"COM.APPLE.MAIL", Cat::mail},
        {"com.apple.mail.compose", Cat::mail},
        {"com.apple.messages", Cat::chat},
        {"com.apple.Safari", Cat::browser},
        {"com.example.editor", Cat::generic},
        {"", Cat::generic},
        // A mail entry and a browser entry in one id: mail is tried first.
        {"org.mozilla.firefox.com.apple.mail", Cat::mail},
        // The desktop's own ids.
        {"org.mozilla.Thunderbird", Cat::mail},
        {"org.telegram.desktop", Cat::chat},
        {"slack", Cat::chat},
        {"mousepad", Cat::document},
        {"libreoffice-writer", Cat::document},
        {"org.gnome.TextEditor", Cat::document},
        {"firefox-esr", Cat::browser},
        {"google-chrome", Cat::browser},
        {"xterm", Cat::generic},
        {"pid.4242", Cat::generic},
    };
    for (const auto& c : cases) EXPECT_EQ(QuickActionAppCategories::classify(c.id), c.expect) << c.id;
}

TEST(QuickActionUsage, LanguageBucket) {
    const struct {
        QString text;
        const char* expect;
    } cases[] = {
        {"", "other"},
        {"12, 34!", "other"},
        {"абвгдеabcde", "cyrillic"},
        {"абabcde", "latin"},
        {"абвabc", "latin"},
        {"éééа", "cyrillic"},
        {"ééé", "other"},
        {QString::fromUtf16(u"\u0500\u052F"), "cyrillic"},
    };
    for (const auto& c : cases) EXPECT_EQ(QuickActionUsageStore::languageBucket(c.text), c.expect) << c.text.toStdString();
}

TEST(QuickActionUsage, RankingTable) {
    const struct {
        const char* name;
        QHash<QString, qint64> counts;
        bool editable;
        QList<A> expect;
    } cases[] = {
        {"four in all keep the defaults", {{"friendly", 4}}, true, {A::improve, A::translate}},
        {"five in all rank", {{"improve", 1}, {"friendly", 4}}, true, {A::friendly, A::improve}},
        {"a tie keeps the candidate order", {{"shorter", 3}, {"business", 3}}, true, {A::shorter, A::business}},
        {"one action only", {{"friendly", 5}}, true, {A::friendly, A::improve}},
        {"read-only", {{"explain", 3}, {"reply", 2}}, false, {A::explain, A::reply}},
        {"counts of non-candidates add to the total", {{"explain", 1}, {"improve", 9}}, false, {A::explain, A::translate}},
        {"no history", {}, false, {A::translate, A::summarize}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuickActionUsageStore::rankedPrimaryActions(c.counts, c.editable, 5), c.expect) << c.name;
}

class QuickActionUsageStoreTest : public ::testing::Test {
protected:
    QuickActionSelection selection(const QString& text, Cat category, bool editable) {
        QuickActionSelection s;
        s.text = text;
        s.category = category;
        s.isEditable = editable;
        return s;
    }
    test::TestEnvironment env;
    QuickActionUsageStore store{env.defaults()};
    const QString key = QStringLiteral("quickActions.usage.v1");
};

TEST_F(QuickActionUsageStoreTest, RecordedActionsPromoteAfterFiveInTheirContext) {
    const auto doc = selection("превет мир", Cat::document, true);
    for (int i = 0; i < 4; ++i) store.record(A::friendly, doc);
    EXPECT_EQ(store.primaryActions(doc), (QList<A>{A::improve, A::translate}));
    store.record(A::friendly, doc);
    EXPECT_EQ(store.primaryActions(doc), (QList<A>{A::friendly, A::improve}));
    // Another context is untouched.
    EXPECT_EQ(store.primaryActions(selection("hello", Cat::document, true)), (QList<A>{A::improve, A::translate}));

    // Stored as a nested dictionary, not as encoded data.
    const QVariantMap stored = env.defaults().dictionaryValue(key);
    EXPECT_EQ(stored.keys(), QStringList{"document|editable|cyrillic"});
    EXPECT_EQ(stored.value("document|editable|cyrillic").toMap().value("friendly").toLongLong(), 5);

    // The local actions are never counted.
    for (const A local : {A::copy, A::more, A::addToDictionary}) store.record(local, doc);
    EXPECT_EQ(env.defaults().dictionaryValue(key), stored);
}

TEST_F(QuickActionUsageStoreTest, AnUnreadableRecordShowsDefaultsAndIsReplaced) {
    const auto mail = selection("hello", Cat::mail, false);
    const QVariant unreadable[] = {
        QVariant(QStringLiteral("text")),
        QVariantMap{{"mail|readonly|latin", QVariantMap{{"explain", 5}, {"reply", QStringLiteral("3")}}}},
        QVariantMap{{"mail|readonly|latin", QVariantMap{{"explain", 5.0}}}},
        QVariantMap{{"mail|readonly|latin", QVariantMap{{"explain", 5}}}, {"other", 1}},
    };
    for (const QVariant& value : unreadable) {
        env.defaults().set(key, value);
        EXPECT_EQ(store.primaryActions(mail), (QList<A>{A::translate, A::summarize}));
        store.record(A::reply, mail);
        EXPECT_EQ(env.defaults().dictionaryValue(key),
                  (QVariantMap{{"mail|readonly|latin", QVariantMap{{"reply", qlonglong(1)}}}}));
    }
}

}  // namespace
