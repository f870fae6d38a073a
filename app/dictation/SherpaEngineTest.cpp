#include "dictation/SherpaEngine.h"

#include "TestEnvironment.h"
#include "TestFiles.h"
#include "dictation/Wav.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <future>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray chunk(const QByteArray& id, const QByteArray& body, qint64 claimed = -1) {
    QByteArray c = id + le32(quint32(claimed >= 0 ? claimed : body.size())) + body;
    if (body.size() % 2) c += '\0';
    return c;
}
QByteArray fmt(quint16 format, quint16 channels, quint32 rate, quint16 bits) {
    return chunk("fmt ", le16(format) + le16(channels) + le32(rate) + le32(rate * channels * bits / 8) +
                             le16(quint16(channels * bits / 8)) + le16(bits));
}
QByteArray riff(const QByteArray& chunks) { return "RIFF" + le32(quint32(chunks.size() + 4)) + "WAVE" + chunks; }
QByteArray pcm(std::initializer_list<qint16> values) {
    QByteArray b;
    for (qint16 v : values) b += le16(quint16(v));
    return b;
}

using test::writeFile;

}  // namespace

TEST(SherpaEnginePcm, ReadsOnlySixteenBitIntegerPcm) {
    struct Case {
        const char* name;
        QByteArray wav;
        std::optional<std::vector<float>> samples;
        qint32 rate = 16000;
    };
    const QByteArray mono = fmt(1, 1, 16000, 16);
    const std::vector<Case> cases{
        {"mono, full scale both ways", riff(mono + chunk("data", pcm({-32768, 0, 32767, 16384}))),
         std::vector<float>{-1.0f, 0.0f, float(32767.0 / 32768.0), 0.5f}},
        {"stereo: the mean of the channels", riff(fmt(1, 2, 8000, 16) + chunk("data", pcm({1000, 3000, -32768, 0}))),
         std::vector<float>{float(2000.0 / 32768.0), -0.5f}, 8000},
        {"odd chunk before data is padded", riff(mono + chunk("LIST", "abc") + chunk("data", pcm({16384}))),
         std::vector<float>{0.5f}},
        {"trailing half frame ignored", riff(mono + chunk("data", pcm({16384}) + "x")), std::vector<float>{0.5f}},
        {"header only", wavHeader(0), std::nullopt},
        {"less than one frame", riff(mono + chunk("data", "x")), std::nullopt},
        {"data claims more than the file has", riff(mono + chunk("data", pcm({1, 2}), 400)), std::nullopt},
        {"8-bit", riff(fmt(1, 1, 16000, 8) + chunk("data", "abcd")), std::nullopt},
        {"24-bit", riff(fmt(1, 1, 16000, 24) + chunk("data", "abcdef")), std::nullopt},
        {"float", riff(fmt(3, 1, 16000, 32) + chunk("data", "abcdefgh")), std::nullopt},
        {"fmt after data is not seen", riff(chunk("data", pcm({1, 2})) + mono), std::nullopt},
        {"no channels", riff(fmt(1, 0, 16000, 16) + chunk("data", pcm({1, 2}))), std::nullopt},
        {"not RIFF", "RIFX" + riff(mono + chunk("data", pcm({1, 2}))).mid(4), std::nullopt},
        {"no data chunk", riff(mono + chunk("LIST", QByteArray(40, 'x'))), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = SherpaEngine::pcmSamples(c.wav);
        ASSERT_EQ(got.has_value(), c.samples.has_value()) << c.name;
        if (!got) continue;
        EXPECT_EQ(got->samples, *c.samples) << c.name;
        EXPECT_EQ(got->sampleRate, c.rate) << c.name;
    }
}

TEST(SherpaEnginePayload, ReadsLikeTheServerReply) {
    const auto bytes = SherpaEngine::completionPayload(QStringLiteral("Привет, \"мир\""));
    ASSERT_TRUE(bytes);
    const QJsonObject doc = QJsonDocument::fromJson(*bytes).object();
    EXPECT_EQ(doc.value("text").toString(), QStringLiteral("Привет, \"мир\""));
    const QJsonArray segments = doc.value("segments").toArray();
    ASSERT_EQ(segments.size(), 1);
    EXPECT_EQ(segments[0].toObject().value("text").toString(), QStringLiteral("Привет, \"мир\""));
}

class SherpaRuntimeTest : public ::testing::Test {
protected:
    QString model(const QString& name, const QByteArray& tokens, const QByteArray& encoder = "enc") {
        const QString dir = env.root() + "/" + name;
        writeFile(dir + "/encoder.int8.onnx", encoder);
        writeFile(dir + "/decoder.int8.onnx", "dec");
        writeFile(dir + "/joiner.int8.onnx", "join");
        writeFile(dir + "/tokens.txt", tokens);
        return dir;
    }
    int count(const QString& fragment) { return int(env.logText().count(fragment)); }

    test::TestEnvironment env;
    const std::vector<float> second = std::vector<float>(16000, 0.1f);
};

TEST_F(SherpaRuntimeTest, LoadsOnceRecognisesAndUnloads) {
    SherpaRuntime runtime({QStringLiteral(MURMELO_SHERPA_STUB)});
    const QString a = model("a", "привет");
    const QString b = model("b", "hello");
    EXPECT_TRUE(runtime.isAvailable());
    EXPECT_FALSE(runtime.isLoaded());

    // The first dictation loads the model itself; the second reuses it.
    EXPECT_EQ(runtime.transcribe(second, 16000, a), QStringLiteral("привет 16000 16000"));
    EXPECT_TRUE(runtime.isLoaded());
    EXPECT_EQ(runtime.transcribe({0.5f, 0.25f}, 8000, a), QStringLiteral("привет 2 8000"));
    EXPECT_EQ(count("Parakeet model loaded in "), 1);

    // Another folder replaces the recogniser.
    EXPECT_EQ(runtime.transcribe(second, 16000, b), QStringLiteral("hello 16000 16000"));
    EXPECT_EQ(count("Parakeet model loaded in "), 2);

    runtime.warmUp(a);
    runtime.unload();
    runtime.waitForBackground();
    EXPECT_FALSE(runtime.isLoaded());
    EXPECT_EQ(count("Parakeet model unloaded"), 1);
    EXPECT_EQ(count("Parakeet model loaded in "), 3);
}

TEST_F(SherpaRuntimeTest, FailuresAnswerNone) {
    SherpaRuntime runtime({QStringLiteral(MURMELO_SHERPA_STUB)});
    struct Case {
        const char* name;
        QByteArray tokens;
        QByteArray encoder;
        std::optional<QString> text;
        const char* log;
    };
    const std::vector<Case> cases{
        {"no stream", "no-stream", "enc", std::nullopt, nullptr},
        {"no result", "no-result", "enc", std::nullopt, nullptr},
        {"a null text is empty", "no-text", "enc", QString(), nullptr},
        {"create fails", "x", "broken", std::nullopt, "Parakeet model failed to load from "},
    };
    for (const Case& c : cases) {
        const QString dir = model(c.name, c.tokens, c.encoder);
        EXPECT_EQ(runtime.transcribe(second, 16000, dir), c.text) << c.name;
        if (c.log) {
            EXPECT_TRUE(env.logContains(QString(c.log) + dir)) << c.name;
        }
    }
    EXPECT_FALSE(runtime.isLoaded());

    const QString incomplete = env.root() + "/incomplete";
    writeFile(incomplete + "/encoder.int8.onnx", "enc");
    EXPECT_FALSE(runtime.load(incomplete));
    EXPECT_TRUE(env.logContains("Parakeet model files are missing in " + incomplete));

    // Bad input never reaches the library, not even a load.
    const QString good = model("good", "ok");
    const int loads = count("Parakeet model loaded in ");
    EXPECT_EQ(runtime.transcribe(second, 0, good), std::nullopt);
    EXPECT_EQ(runtime.transcribe({}, 16000, good), std::nullopt);
    EXPECT_EQ(count("Parakeet model loaded in "), loads);
}

TEST_F(SherpaRuntimeTest, MissingLibraryOrFunctions) {
    SherpaRuntime missing({env.root() + "/nowhere/libsherpa-onnx-c-api.so", env.root() + "/nor-here.so"});
    const QString dir = model("m", "t");
    EXPECT_FALSE(missing.isAvailable());
    EXPECT_FALSE(missing.load(dir));
    EXPECT_EQ(missing.transcribe(second, 16000, dir), std::nullopt);
    EXPECT_EQ(count("Parakeet runtime unavailable: "), 1);
    EXPECT_TRUE(env.logContains("nor-here.so"));  // the loader's own words about the last try
    EXPECT_TRUE(env.logContains("Parakeet runtime lacks required symbol: SherpaOnnxCreateOfflineRecognizer"));

    SherpaRuntime partial({QStringLiteral(MURMELO_SHERPA_STUB_PARTIAL)});
    EXPECT_TRUE(partial.isAvailable());
    EXPECT_EQ(partial.transcribe(second, 16000, dir), std::nullopt);
    EXPECT_TRUE(env.logContains("Parakeet runtime lacks required symbol: SherpaOnnxCreateOfflineStream"));
}

TEST_F(SherpaRuntimeTest, ReleaseUnloadsOnlyTheFolderInUse) {
    SherpaRuntime runtime({QStringLiteral(MURMELO_SHERPA_STUB)});
    const QString a = model("a", "a");
    ASSERT_TRUE(runtime.load(a));
    runtime.release(env.root() + "/b");
    EXPECT_TRUE(runtime.isLoaded());
    runtime.release(a + "/");
    EXPECT_FALSE(runtime.isLoaded());
    EXPECT_EQ(count("Parakeet model unloaded"), 1);
}

TEST_F(SherpaRuntimeTest, DictationsRunOneAfterAnother) {
    SherpaRuntime runtime({QStringLiteral(MURMELO_SHERPA_STUB)});
    const QString a = model("a", "t");
    runtime.warmUp(a);
    std::vector<std::future<std::optional<QString>>> runs;
    for (int i = 1; i <= 6; ++i)
        runs.push_back(std::async(std::launch::async, [&, i] {
            return runtime.transcribe(std::vector<float>(size_t(i), 0.f), 16000, a);
        }));
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(runs[size_t(i - 1)].get(), QStringLiteral("t %1 16000").arg(i));
    runtime.waitForBackground();
    EXPECT_EQ(count("Parakeet model loaded in "), 1);
}

// The library that scripts/setup installs from its npm package, when it is there.
TEST_F(SherpaRuntimeTest, RealLibraryReportsAMissingModel) {
    const QString library = QStringLiteral(MURMELO_SHERPA_RUNTIME_DIR "/libsherpa-onnx-c-api.so");
    if (!QFileInfo::exists(library))
        GTEST_SKIP() << "the transducer library is not installed at " << library.toStdString()
                     << " (scripts/setup installs it with npm)";
    SherpaRuntime runtime({library});
    ASSERT_TRUE(runtime.isAvailable()) << env.logText().toStdString();
    const QString empty = env.root() + "/parakeet-tdt-v3";
    QDir().mkpath(empty);
    EXPECT_FALSE(runtime.load(empty));
    EXPECT_EQ(runtime.transcribe(second, 16000, empty), std::nullopt);
    EXPECT_EQ(count("Parakeet model files are missing in " + empty), 2);
    EXPECT_FALSE(runtime.isLoaded());
    EXPECT_FALSE(env.logContains("lacks required symbol"));
}
