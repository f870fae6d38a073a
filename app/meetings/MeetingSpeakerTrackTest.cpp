#include "meetings/MeetingSpeakerTrack.h"

#include "meetings/MeetingParticipants.h"

#include "TestEnvironment.h"
#include "base/Log.h"
#include "TestFiles.h"
#include "platform/Accessibility.h"
#include "platform/Service.h"
#include "platform/TextRecognizer.h"
#include "platform/WindowCapture.h"
#include "sim/SimAudioInput.h"
#include "sim/SimDesktop.h"
#include "sim/SimProcesses.h"
#include "sim/SimWindowCapture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace murmelo {
namespace {

namespace Track = MeetingSpeakerTrack;

// An element of a simulated call window: its attributes and the elements inside it.
struct Node : AXElement {
    QVariantMap attrs;
    std::vector<std::shared_ptr<Node>> kids;
};
using NodePtr = std::shared_ptr<Node>;

NodePtr node(const QString& role, QVariantMap attrs = {}, std::vector<NodePtr> kids = {}) {
    auto n = std::make_shared<Node>();
    if (!role.isEmpty()) attrs[QStringLiteral("AXRole")] = role;
    n->attrs = std::move(attrs);
    n->kids = std::move(kids);
    return n;
}

// The accessibility tree of one application; each attribute read may cost virtual time.
class TreeAccessibility : public Accessibility {
public:
    NodePtr app = node("AXApplication");
    NodePtr focusedWindow, mainWindow;
    bool trusted = true;
    sim::ManualClock* clock = nullptr;
    double readCost = 0;
    float timeout = 0;

    AXElementPtr focusedElement(AXError*) override { return nullptr; }
    AXElementPtr applicationElement(qint64) override { return app; }
    QVariant attribute(const AXElement& el, const QString& name, AXError* error) override {
        if (clock && readCost > 0) clock->advance(readCost);
        const auto& n = static_cast<const Node&>(el);
        if (error) *error = n.attrs.contains(name) ? AXError::success : AXError::noValue;
        return n.attrs.value(name);
    }
    AXError setAttribute(const AXElement&, const QString&, const QVariant&) override { return AXError::failure; }
    AXError isAttributeSettable(const AXElement&, const QString&, bool* settable) override {
        *settable = false;
        return AXError::failure;
    }
    std::optional<QRectF> boundsForRange(const AXElement&, AXRange, AXError*) override { return std::nullopt; }
    std::optional<qint64> pid(const AXElement&) override { return std::nullopt; }
    AXError setMessagingTimeout(const AXElement&, float seconds) override {
        timeout = seconds;
        return AXError::success;
    }
    void settle(double) override {}
    AXElementPtr elementAtPoint(const AXElement&, QPointF, AXError* error) override {
        if (error) *error = AXError::noValue;
        return nullptr;
    }
    AXElementPtr parent(const AXElement&, AXError* error) override {
        if (error) *error = AXError::noValue;
        return nullptr;
    }
    bool isProcessTrusted() override { return trusted; }
    AXElementPtr windowOf(const AXElement&, WindowKind kind, AXError* error) override {
        if (error) *error = AXError::success;
        return kind == WindowKind::focused ? focusedWindow : mainWindow;
    }
    std::vector<AXElementPtr> children(const AXElement& el, AXError* error) override {
        if (error) *error = AXError::success;
        const auto& n = static_cast<const Node&>(el);
        return {n.kids.begin(), n.kids.end()};
    }
};

TEST(MeetingSpeakerTrackSweep, ElementsGiveTheirRoleTextsAndFlagsInTreeOrder) {
    TreeAccessibility ax;
    ScopedService<Accessibility> axScope{ax};
    EXPECT_EQ(Track::sweep(1), "");

    ax.mainWindow = node("AXWindow", {{"AXTitle", "Zoom Meeting"}},
                         {node("AXButton", {{"AXTitle", "  Mute\t"}, {"AXFocused", true}}),
                          node("AXGroup", {{"AXSelected", false}, {"AXTitle", " "}},
                               {node("AXStaticText", {{"AXDescription", "Иван\nПетров"}, {"AXHelp", "говорит"}}),
                                node("AXSecureTextField", {{"AXTitle", "пароль"}},
                                     {node("AXStaticText", {{"AXTitle", "внутри пароля"}})}),
                                node("", {{"AXTitle", "без роли"}, {"AXSelected", true}}),
                                node("AXImage", {{"AXTitle", 42}})})});
    EXPECT_EQ(Track::sweep(1), "AXWindow|Zoom Meeting\n"
                               "AXButton|Mute|Focused=1\n"
                               "AXStaticText|Иван\nПетров|говорит\n"
                               "?|без роли|Selected=1");
    EXPECT_FLOAT_EQ(ax.timeout, 0.4f);

    // The window with the focus goes before the main one.
    ax.focusedWindow = node("AXWindow", {{"AXTitle", "Чат"}});
    EXPECT_EQ(Track::sweep(1), "AXWindow|Чат");
}

TEST(MeetingSpeakerTrackSweep, ASweepStopsAtItsDepthCountAndTimeBounds) {
    test::TestEnvironment env;
    TreeAccessibility ax;
    ScopedService<Accessibility> axScope{ax};
    const auto labelled = [](int i) { return node("AXCell", {{"AXTitle", QString::number(i)}}); };

    NodePtr deepest = labelled(19);
    for (int i = 18; i >= 0; --i) deepest = node("AXCell", {{"AXTitle", QString::number(i)}}, {deepest});
    ax.mainWindow = deepest;
    EXPECT_EQ(Track::sweep(1).split('\n').size(), 12);
    EXPECT_TRUE(Track::sweep(1).endsWith("AXCell|11"));

    std::vector<NodePtr> many;
    for (int i = 1; i < 1000; ++i) many.push_back(labelled(i));
    ax.mainWindow = node("AXWindow", {{"AXTitle", "0"}}, many);
    EXPECT_EQ(Track::sweep(1).split('\n').size(), 400);

    // Eight attribute reads per element at 0.01 s each: the budget of 0.4 s ends the walk early.
    ax.clock = &env.clock();
    ax.readCost = 0.01;
    const int lines = int(Track::sweep(1).split('\n').size());
    EXPECT_GE(lines, 4);
    EXPECT_LE(lines, 6);
}

// Numbers what it recognises by call; blocks a held call until the test lets it go.
class HeldRecognizer : public TextRecognizer {
public:
    Result recognize(const QImage&) override {
        const int call = ++calls;
        if (hold) {
            hold = false;
            entered.release();
            release.acquire();
        }
        return {{{0.5, 0.1, text + QStringLiteral(" #") + QString::number(call), 0.9}}, {}};
    }
    std::atomic<int> calls{0};
    std::atomic<bool> hold{false};
    QSemaphore entered, release;
    QString text = QStringLiteral("Иван Петров | Мария | Mute | Participants");
};

// A call application playing sound with a call window, and a recording's folder.
class CallWindowTest : public ::testing::Test {
protected:
    CallWindowTest() {
        MeetingStore::setRootsForTesting(env.root() + "/meetings");
        auto& zoom = desk.addApp("zoom", "Zoom");
        zoom.windows = {WindowInfo{31, QStringLiteral("Zoom Meeting"), QRectF(0, 0, 1200, 800)}};
        processes.add(qint32(zoom.identity.pid), 1, 0, "/opt/zoom/zoom");
        audio.streams = {{zoom.identity.pid, QStringLiteral("stream"), QStringLiteral("zoom")}};
        env.defaults().set(Track::SETTING, true);
        ax.mainWindow = node("AXWindow", {{"AXTitle", "Zoom Meeting"}}, {speaking("Иван Петров")});
    }
    ~CallWindowTest() override {
        Track::stop();
        Track::queue().waitUntilIdle();
        MeetingStore::setRootsForTesting(std::nullopt);
    }
    static NodePtr speaking(const QString& who) { return node("AXButton", {{"AXTitle", who}, {"AXSelected", true}}); }
    MeetingStore::Folder meeting(const char* at) {
        return *MeetingStore::create(QDateTime::fromString(QString::fromLatin1(at), Qt::ISODate), QString("Zoom"));
    }
    // Moves virtual time by 2 s sweeps and lets the track's queue finish what they started.
    void sweeps(int n) {
        for (int i = 0; i < n; ++i) {
            env.advance(Track::AX_PERIOD);
            Track::queue().waitUntilIdle();
        }
    }
    // The records of the folder's track, each as kind, time and text.
    static QStringList records(const MeetingStore::Folder& folder) {
        QStringList out;
        for (const QByteArray& line : test::readFile(folder.file(Track::FILE)).split('\n')) {
            if (line.isEmpty()) continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            EXPECT_EQ(o.size(), 3) << line.toStdString();
            out << o["kind"].toString() + " " + QString::number(o["at"].toDouble()) + " " +
                       (o.contains("tree") ? o["tree"].toString() : o["text"].toString());
        }
        return out;
    }

    test::TestEnvironment env;
    sim::SimDesktop desk;
    sim::SimProcesses processes{500};
    sim::SimAudioInput audio;
    sim::SimWindowCapture capture;
    HeldRecognizer recognizer;
    TreeAccessibility ax;
    ScopedService<Workspace> deskScope{desk};
    ScopedService<Processes> processesScope{processes};
    ScopedService<AudioInput> audioScope{audio};
    ScopedService<WindowCapture> captureScope{capture};
    ScopedService<TextRecognizer> recognizerScope{recognizer};
    ScopedService<Accessibility> axScope{ax};
};

TEST_F(CallWindowTest, ChangesOfTheWindowAndARecognitionEvery30SecondsAreRecorded) {
    const MeetingStore::Folder folder = meeting("2026-12-11T10:00:00Z");
    Track::start(folder);
    EXPECT_TRUE(env.logContains("встреча/дорожка: собираю, кто когда говорит (опрос 2 с, снимок 30 с) - speaker-track.jsonl"));
    sweeps(1);
    ASSERT_TRUE(env.waitFor([&] {
        Track::queue().waitUntilIdle();
        return records(folder).size() == 2;
    }));
    sweeps(1);  // unchanged
    ax.mainWindow->kids = {speaking("Мария")};
    sweeps(14);  // 32 s: the second recognition
    ASSERT_TRUE(env.waitFor([&] {
        Track::queue().waitUntilIdle();
        return records(folder).size() == 4;
    }));
    EXPECT_EQ(recognizer.calls, 2);
    const QString ocr = "Иван Петров | Мария | Mute | Participants";
    EXPECT_EQ(records(folder), (QStringList{"ax 2 AXWindow|Zoom Meeting\nAXButton|Иван Петров|Selected=1", "ocr 2 " + ocr + " #1",
                                            "ax 6 AXWindow|Zoom Meeting\nAXButton|Мария|Selected=1", "ocr 32 " + ocr + " #2"}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder.file(Track::FILE)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    Track::stop();
    EXPECT_TRUE(env.logContains("встреча/дорожка: записано 0 КБ в " + folder.name() + "/speaker-track.jsonl"));
    ax.mainWindow->kids = {speaking("Олег")};
    sweeps(2);
    EXPECT_EQ(records(folder).size(), 4);
}

TEST_F(CallWindowTest, OffOrUntrustedItWritesNothing) {
    const MeetingStore::Folder folder = meeting("2026-12-11T10:00:00Z");
    env.defaults().remove(Track::SETTING);
    Track::start(folder);
    ax.trusted = false;
    env.defaults().set(Track::SETTING, true);
    Track::start(folder);
    sweeps(2);
    EXPECT_FALSE(QFile::exists(folder.file(Track::FILE)));
    EXPECT_EQ(recognizer.calls, 0);
    EXPECT_EQ(env.logLines().filter("встреча/дорожка").size(), 1);
    EXPECT_TRUE(env.logContains("встреча/дорожка: нет прав Универсального доступа - дорожку не собираю"));
}

TEST_F(CallWindowTest, TheRecordThatReachesTheCapIsTheLastUntilTheNextStart) {
    const MeetingStore::Folder folder = meeting("2026-12-11T10:00:00Z");
    const QByteArray earlier = "{\"at\":0,\"kind\":\"ax\",\"tree\":\"earlier\"}\n";
    test::writeFile(folder.file(Track::FILE), earlier);
    std::vector<NodePtr> wide;
    for (int i = 0; i < 399; ++i) wide.push_back(node("AXCell", {{"AXTitle", QString(10600, QChar(u'а' + i % 20))}}));
    ax.mainWindow->kids = wide;
    capture.failure = QStringLiteral("окно закрылось");  // no recognition records in the way
    Track::start(folder);
    sweeps(1);
    ax.mainWindow->kids = {speaking("Мария")};
    sweeps(2);
    Track::stop();

    const QStringList lines = records(folder);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("earlier"));
    EXPECT_GT(QFileInfo(folder.file(Track::FILE)).size(), Track::MAX_BYTES);
    EXPECT_EQ(env.logLines().filter("потолок").size(), 1);
    EXPECT_TRUE(env.logContains(
        "⚠ встреча/дорожка: потолок 8 МБ достигнут - дальше не пишу, запись разговора важнее телеметрии о ней"));
    const qint64 written = QFileInfo(folder.file(Track::FILE)).size() - earlier.size();
    EXPECT_TRUE(env.logContains("встреча/дорожка: записано " + QString::number(written / 1024) + " КБ в "));
}

TEST_F(CallWindowTest, ARecognitionThatEndsAfterItsRecordingWritesNothing) {
    const MeetingStore::Folder first = meeting("2026-12-11T10:00:00Z");
    const MeetingStore::Folder second = meeting("2026-12-11T11:00:00Z");
    recognizer.hold = true;
    Track::start(first);
    sweeps(1);
    ASSERT_TRUE(recognizer.entered.tryAcquire(1, 20000));
    Track::start(second);  // stops the first track
    recognizer.release.release();
    sweeps(1);
    ASSERT_TRUE(env.waitFor([&] {
        Track::queue().waitUntilIdle();
        return !records(second).filter("ocr ").isEmpty() && records(second).filter("ocr ").last().endsWith("#2");
    }));
    // The first recognition, answered after its track ended, is nowhere.
    EXPECT_EQ(records(first).filter("ocr ").size(), 0);
    EXPECT_EQ(records(second).filter("ocr "), QStringList{"ocr 2 Иван Петров | Мария | Mute | Participants #2"});
}

TEST_F(CallWindowTest, SnapshotsOfTheCallWindowAddEachNewNameOnce) {
    const MeetingStore::Folder folder = meeting("2026-12-11T10:00:00Z");
    MeetingStore::update(folder, [](MeetingStore::Meta& m) { m.nameCandidates = {"Мария"}; });
    // The log line a snapshot ended with.
    const auto snapshot = [&] {
        const qsizetype before = env.logLines().filter("встреча/имена").size();
        MeetingParticipants::collect(folder);
        if (!env.waitFor([&] { return env.logLines().filter("встреча/имена").size() > before; })) return QString();
        return env.logLines().filter("встреча/имена").last();
    };
    const QString names = "встреча/имена: из окна звонка - " + priv("Иван Петров, Мария");
    EXPECT_TRUE(snapshot().endsWith(names));
    EXPECT_EQ(MeetingStore::read(folder)->nameCandidates, (QStringList{"Мария", "Иван Петров"}));
    // The second snapshot, at 90 s, sees the same names.
    EXPECT_TRUE(snapshot().endsWith(names));
    EXPECT_EQ(MeetingStore::read(folder)->nameCandidates, (QStringList{"Мария", "Иван Петров"}));

    recognizer.text = QStringLiteral("Mute | Start Video | Participants");
    EXPECT_TRUE(snapshot().endsWith("встреча/имена: в окне имён не нашлось"));
    capture.failure = QStringLiteral("окно закрылось");
    EXPECT_TRUE(snapshot().endsWith("встреча/имена: снимок окна не вышел - Снимок окна не удался: окно закрылось"));
    audio.streams.clear();
    EXPECT_TRUE(snapshot().endsWith("встреча/имена: приложение звонка не опознано - снимок не делаю"));
    EXPECT_EQ(MeetingStore::read(folder)->nameCandidates, (QStringList{"Мария", "Иван Петров"}));
}

}  // namespace
}  // namespace murmelo
