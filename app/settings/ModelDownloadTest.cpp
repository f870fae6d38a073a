#include "settings/ModelDownload.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "dictation/SherpaEngine.h"
#include "settings/SettingsSeam.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

using namespace murmelo;

using test::readFile;
using test::sha;
using test::writeFile;

// The transducer model from the settings window's download: archive over HTTP, unpacked,
// verified and swapped in, with progress on the settings seam.
class ModelDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        models = env.root() + "/models";
        dest = models + "/parakeet-tdt-v3";
        parakeet = MODELS().last();
        ASSERT_EQ(parakeet.engine, ASREngine::sherpa);
        parakeet.files.clear();
        const QString stage = env.root() + "/stage/sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8";
        for (const QString& name : SherpaEngine::requiredFiles()) {
            // Incompressible enough to stay above the test's size floor once packed.
            QByteArray data = name.toUtf8();
            for (int i = 0; i < 20000; ++i) data += QByteArray::number(qint64(i) * 2654435761u % 1000003);
            writeFile(stage + "/" + name, data);
            parakeet.files.append({name, sha(data)});
        }
        ASSERT_NO_FATAL_FAILURE(test::tar({"cjf", env.root() + "/model.tar.bz2", "-C", env.root() + "/stage", "."}));
        archiveBytes = readFile(env.root() + "/model.tar.bz2");
        ASSERT_GT(archiveBytes.size(), 10000);
        for (const QString& name : SherpaEngine::requiredFiles()) writeFile(dest + "/" + name, "old " + name.toUtf8());

        seam.modelDownloadProgress = [this](const QString& id, double fraction, qint64 written, qint64 expected) {
            progress.append({id, fraction, written, expected});
        };
    }

    std::pair<bool, std::optional<QString>> download(const QString& path) {
        parakeet.url = server.url(path).toString();
        ModelDownload job(parakeet, models, 10000);
        std::optional<std::pair<bool, std::optional<QString>>> result;
        job.onDone = [&](bool ok, std::optional<QString> message) { result = {ok, message}; };
        job.start();
        EXPECT_TRUE(env.waitFor([&] { return result.has_value(); }));
        return result.value_or(std::make_pair(false, std::optional<QString>()));
    }
    QStringList inModels() { return QDir(models).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    test::TestEnvironment env;
    test::LocalHttpServer server;
    SettingsSeam seam;
    ScopedService<SettingsSeam> seamScope{seam};
    QString models, dest;
    ModelChoice parakeet;
    QByteArray archiveBytes;
    QList<std::tuple<QString, double, qint64, qint64>> progress;
};

TEST_F(ModelDownloadTest, AGoodArchiveReplacesTheModel) {
    server.set("/parakeet.tar.bz2", {200, archiveBytes});
    const auto [ok, message] = download("/parakeet.tar.bz2");
    EXPECT_TRUE(ok);
    EXPECT_EQ(message, std::nullopt);
    for (const auto& [name, digest] : parakeet.files) EXPECT_EQ(sha(readFile(dest + "/" + name)), digest);
    EXPECT_EQ(inModels(), QStringList{"parakeet-tdt-v3"});
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(),
              std::make_tuple(QString("parakeet-tdt-v3"), 1.0, qint64(archiveBytes.size()), qint64(archiveBytes.size())));
}

TEST_F(ModelDownloadTest, FailuresKeepTheOldModel) {
    struct Case {
        const char* name;
        test::LocalHttpServer::Reply reply;
        QString message;
    };
    QByteArray damaged = archiveBytes;
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
    const std::vector<Case> cases{
        {"not found", {404, QByteArray(20000, 'n')}, "HTTP 404, получено "},
        {"short file", {200, archiveBytes.left(5000)}, "HTTP 200, получено "},
        {"broken connection", {200, archiveBytes, true, archiveBytes.size() / 2}, ""},
        {"damaged archive", {200, damaged}, "Не удалось распаковать модель. Скачайте её ещё раз."},
    };
    for (const Case& c : cases) {
        server.set("/p.tar.bz2", c.reply);
        const auto [ok, message] = download("/p.tar.bz2");
        EXPECT_FALSE(ok) << c.name;
        ASSERT_TRUE(message) << c.name;
        EXPECT_TRUE(message->startsWith(c.message)) << c.name << ": " << message->toStdString();
        EXPECT_EQ(readFile(dest + "/joiner.int8.onnx"), "old joiner.int8.onnx") << c.name;
        EXPECT_EQ(inModels(), QStringList{"parakeet-tdt-v3"}) << c.name;
    }
}

TEST_F(ModelDownloadTest, AWhisperModelWithAWrongDigestKeepsTheOldFile) {
    ModelChoice tiny = MODELS()[3];
    writeFile(models + "/" + tiny.filename, "old whisper");
    server.set("/tiny.bin", {200, QByteArray(20000, 'w')});
    tiny.url = server.url("/tiny.bin").toString();
    tiny.sha256 = sha("something else");
    ModelDownload job(tiny, models, 10000);
    std::optional<QString> message;
    bool done = false;
    job.onDone = [&](bool, std::optional<QString> m) { done = true; message = m; };
    job.start();
    ASSERT_TRUE(env.waitFor([&] { return done; }));
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->startsWith("контрольная сумма не сошлась"));
    EXPECT_EQ(readFile(models + "/" + tiny.filename), "old whisper");
}

TEST(SettingsSeamProgress, SaysOnceThatNoWindowShowsIt) {
    test::TestEnvironment env;
    SettingsSeam seam;
    seam.modelDownloadProgress("q5", 0.5, 1, 2);
    seam.modelDownloadProgress("q5", 0.6, 1, 2);
    EXPECT_EQ(env.logText().count("заглушка: modelDownloadProgress"), 1);
}
