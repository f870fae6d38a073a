#include "meetings/MeetingNotes.h"

#include "ai/AIProvider.h"
#include "ai/OpenAIKeychain.h"
#include "meetings/MeetingTranscriber.h"
#include "vocabulary/AppVocab.h"
#include "ScopedEnv.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "sim/SimKeyStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using test::readFile;
using test::writeFile;
namespace Notes = MeetingNotes;
using Case = Notes::Failure::Case;

QDateTime utc(const char* text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC(); }

// A meeting with a transcript and a full record, a key for the cloud, and the stand-in service
// answering from a script.
class MeetingNotesTest : public ::testing::Test {
protected:
    MeetingNotesTest() {
        MeetingStore::setRootsForTesting(env.root() + "/meetings");
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting(env.root() + "/no-bundled-key.txt");
        keys.write("com.local.murmelo.openai", "api-key", "label", "sk-test-0123456789abcdef");
        setCustomVocab("Orbitex\nКубер");
        env.defaults().set("meetingNotesCloud", true);
        folder = *MeetingStore::create(utc("2026-03-14T06:30:00Z"), QString("Zoom"));
        MeetingStore::update(*folder, [](MeetingStore::Meta& m) {
            m.seconds = 1500;
            m.nameCandidates = {"Анна", "Пётр"};
            m.micOnly = true;
            m.echoShare = 0.29;
        });
        writeFile(folder->transcript(), "**Вы** (00:05): Привет, Москва.\n");
    }
    ~MeetingNotesTest() override {
        MeetingStore::setRootsForTesting(std::nullopt);
        Notes::setTimeoutsForTesting(std::nullopt);
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting();
    }
    // Starts the stand-in with these answers to /v1/responses and points the endpoint at it.
    void serve(const QByteArray& answers) {
        writeFile(env.root() + "/script.json", "{\"responses\": " + answers + "}");
        service = std::make_unique<test::ResponsesStandIn>(
            test::startResponsesStandIn(env.root() + "/record.jsonl", env.root() + "/script.json"));
        ASSERT_TRUE(service->running());
        host = std::make_unique<test::ScopedEnv>(AIProvider::HOST_ENVIRONMENT, service->base().toUtf8());
    }
    std::optional<QString> send(Notes::Kind kind, Notes::Failure* failure) {
        return Notes::send(*folder, kind, failure);
    }

    test::TestEnvironment env;
    sim::SimKeyStore keys;
    ScopedService<KeyStore> keysScope{keys};
    std::optional<MeetingStore::Folder> folder;
    std::unique_ptr<test::ResponsesStandIn> service;
    std::unique_ptr<test::ScopedEnv> host;
};

TEST_F(MeetingNotesTest, NotesAreWrittenUnderTheHeaderWithTheTitleFromTheReply) {
    serve(R"([{"text": "**ЗАГОЛОВОК:** Планёрка\n\nТекст"}])");
    Notes::Failure failure;
    const auto written = send(Notes::Kind::notes, &failure);
    ASSERT_TRUE(written) << failure.description().toStdString();
    EXPECT_EQ(*written, folder->notes());
    const QString when = MeetingTranscriber::dateText(utc("2026-03-14T06:30:00Z"));
    EXPECT_EQ(QString::fromUtf8(readFile(*written)),
              "# Заметки · Планёрка\n\n_Zoom · " + when + " · 25 мин_\n\n> Расшифровка сделана на этом компьютере. "
              "Этот текст - облачная модель gpt-5.6-terra: расшифровка уходила наружу. Проверяйте имена и числа; "
              "время в скобках - от начала записи.\n\nТекст\n");
    EXPECT_EQ(QFileInfo(*written).permissions() & 0x0077, 0);
    const auto meta = MeetingStore::read(*folder);
    EXPECT_EQ(meta->title, QString("Планёрка"));
    EXPECT_TRUE(meta->notesCreated);
    EXPECT_FALSE(meta->summaryCreated);

    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/v1/responses");
    const QJsonObject body = QJsonDocument::fromJson(requests[0]["body"].toString().toUtf8()).object();
    EXPECT_EQ(body.keys(), (QStringList{"input", "instructions", "max_output_tokens", "model", "reasoning", "store", "text"}));
    EXPECT_EQ(body["model"].toString(), "gpt-5.6-terra");
    EXPECT_EQ(body["store"], QJsonValue(false));
    EXPECT_EQ(body["max_output_tokens"].toInt(), 4000);
    EXPECT_EQ(body["reasoning"]["effort"].toString(), "medium");
    EXPECT_EQ(body["text"]["verbosity"].toString(), "medium");
    EXPECT_EQ(body["instructions"].toString(), *Notes::promptText(Notes::Kind::notes));
    EXPECT_EQ(body["input"].toString(),
              "Приложение: Zoom\nКогда: " + when + "\nДлительность: 25 мин\n"
              "В окне звонка были: Анна, Пётр. Это список тех, КТО БЫЛ, а не разметка «кто что сказал».\n"
              "Слова и названия, которые в этих разговорах звучат постоянно (правильное написание): Orbitex\nКубер\n"
              "Имена участников неизвестны: владелец записи - «вы», все остальные - «собеседник». Не угадывай имена.\n"
              "Запись только с микрофона: речь собеседников могла попасть частично.\n"
              "В записи было эхо колонок (29% слов владельца) - часть реплик могла продублироваться.\n\n"
              "**Вы** (00:05): Привет, Москва.\n");
    EXPECT_TRUE(env.logContains("встреча/notes: отправляю "));
    EXPECT_TRUE(env.logContains("встреча/notes: готово за "));
}

TEST_F(MeetingNotesTest, FailedRepliesWriteNothing) {
    serve(R"([
        {"status": 401, "error": "Incorrect API key"},
        {"reasoningOnly": true},
        {"status": 502, "raw": "<html><body>Bad gateway</body></html>"},
        {"status": 429, "error": "Rate limit reached"},
        {"raw": ""},
        {"trickle": 2, "text": "медленно, слишком медленно"}])");
    struct Expect {
        Case which;
        QString description;
    } const expected[] = {
        {Case::api, "HTTP 401: Incorrect API key"},
        {Case::emptyAnswer, "Модель вернула пустой ответ."},
        {Case::api, "HTTP 502: неизвестная ошибка"},
        {Case::api, "HTTP 429: Rate limit reached"},
        {Case::emptyAnswer, "Модель вернула пустой ответ."},
        {Case::transport, ""},
    };
    Notes::setTimeoutsForTesting(std::pair(30.0, 0.5));
    const QByteArray metaBefore = readFile(folder->metaURL());
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.description.toStdString());
        Notes::Failure failure;
        EXPECT_FALSE(send(Notes::Kind::summary, &failure));
        EXPECT_EQ(failure.which, e.which);
        if (!e.description.isEmpty()) {
            EXPECT_EQ(failure.description(), e.description);
        }
    }
    EXPECT_FALSE(QFile::exists(folder->summary()));
    EXPECT_EQ(readFile(folder->metaURL()), metaBefore);
}

TEST_F(MeetingNotesTest, NothingLeavesWithoutConsentOrATranscript) {
    serve("[]");
    Notes::Failure failure;
    env.defaults().set("meetingNotesCloud", false);
    EXPECT_FALSE(send(Notes::Kind::notes, &failure));
    EXPECT_EQ(failure.which, Case::notReady);
    env.defaults().set("meetingNotesCloud", true);

    writeFile(folder->transcript(), " \n\t");
    EXPECT_FALSE(send(Notes::Kind::notes, &failure));
    EXPECT_EQ(failure.description(), "Нет расшифровки - заметки делать не из чего.");

    EXPECT_TRUE(service->requests().isEmpty());
}

TEST_F(MeetingNotesTest, TheDraftShowsWhatWouldLeaveAndWhereTo) {
    struct EchoCase {
        double share;
        const char* line;
    } const echoes[] = {{0.0999, nullptr}, {0.1, "(10%"}, {0.257, "(25%"}, {0.29, "(29%"}, {0.57, "(57%"}};
    for (const EchoCase& c : echoes) {
        MeetingStore::Meta meta(utc("2026-03-14T06:30:00Z"), std::nullopt);
        meta.echoShare = c.share;
        const QString input = Notes::draft("t", "p", meta, Notes::Kind::notes).input;
        if (c.line) {
            EXPECT_TRUE(input.contains(QString("В записи было эхо колонок ") + c.line)) << c.share;
        } else {
            EXPECT_FALSE(input.contains("эхо")) << c.share;
        }
    }

    setCustomVocab("");
    const Notes::Draft bare = Notes::draft("транскрипт", "промпт", std::nullopt, Notes::Kind::summary);
    EXPECT_EQ(bare.input, "Имена участников неизвестны: владелец записи - «вы», все остальные - «собеседник». "
                          "Не угадывай имена.\n\nтранскрипт");
    EXPECT_EQ(bare.payload["max_output_tokens"].toInt(), 900);
    EXPECT_EQ(bare.characters(), 6 + bare.input.size());
    EXPECT_TRUE(bare.readable().startsWith("=== КУДА ===\nhttps://"));

    // On the user's own backend the preview names the backend.
    env.defaults().set(AIProvider::ROUTE_KEY, "ownBackend");
    env.defaults().set(AIProvider::BACKEND_URL_KEY, "https://notes.example/api");
    const Notes::Draft own = Notes::draft("транскрипт", "промпт", std::nullopt, Notes::Kind::notes);
    EXPECT_TRUE(own.readable().startsWith("=== КУДА ===\nhttps://notes.example/api/meeting-notes, модель gpt-5.6-terra\n\n"
                                          "=== ИНСТРУКЦИИ (6 симв.) ===\nпромпт\n\n=== ТЕКСТ ВСТРЕЧИ ("))
        << own.readable().toStdString();
}

TEST(MeetingNotesReplies, TitlesCorrectionsAndReplyTexts) {
    struct TitleCase {
        const char* reply;
        std::optional<QString> title;
        const char* body;
    } const titles[] = {
        {"**ЗАГОЛОВОК:** Планёрка\n\n Текст \n\n", QString("Планёрка"), "Текст\n"},
        {"## заголовок: Ретро\nТекст", QString("Ретро"), "Текст\n"},
        {"a\nb\nc\nЗАГОЛОВОК: Поздно\nТекст", std::nullopt, "a\nb\nc\nЗАГОЛОВОК: Поздно\nТекст"},
        {"вступление\nЗАГОЛОВОК:  \nТекст", std::nullopt, "Текст\n"},
    };
    for (const TitleCase& c : titles) {
        const auto [title, body] = Notes::splitTitle(c.reply);
        EXPECT_EQ(title, c.title) << c.reply;
        EXPECT_EQ(body, c.body) << c.reply;
    }
    EXPECT_EQ(Notes::corrections("Итоги\n\n*ИСПРАВЛЕНО: Орбитекс → Orbitex\nисправлено: второе"),
              QStringList{" Орбитекс → Orbitex"});
    EXPECT_TRUE(Notes::corrections("ничего").isEmpty());

    const QByteArray two = R"({"output":[{"type":"reasoning"},{"type":"message","content":[
        {"type":"output_text","text":"один"},{"type":"refusal","refusal":"x"},{"type":"output_text","text":"два"}]}]})";
    EXPECT_EQ(Notes::text(two), QString("одиндва"));
    EXPECT_EQ(Notes::text("not json"), std::nullopt);
    EXPECT_EQ(Notes::text(R"({"output":[{"type":"reasoning"}]})"), std::nullopt);
    EXPECT_EQ(Notes::apiError(R"({"error":{"message":"нет"}})"), QString("нет"));
    EXPECT_EQ(Notes::apiError("<html>"), std::nullopt);
    EXPECT_EQ(Notes::kindFromRaw("summary"), Notes::Kind::summary);
    EXPECT_EQ(Notes::kindFromRaw("Notes"), std::nullopt);
}

}  // namespace
}  // namespace murmelo
