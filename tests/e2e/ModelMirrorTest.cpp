// A model download from the catalog's public address, sent by the mirror variable to a server
// on this machine that answers the public path with a redirect to a second local server, as
// the public homes redirect to their storage hosts. Nothing real is downloaded: the files are
// small, and the test catalog carries their sums.
#include "LocalHttpServer.h"
#include "ScopedEnv.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "dictation/ModelAddress.h"
#include "dictation/ModelCatalog.h"
#include "dictation/SherpaEngine.h"
#include "settings/ModelDownload.h"
#include "settings/SettingsSeam.h"

#include <QDir>
#include <QRandomGenerator>
#include <QThreadPool>
#include <gtest/gtest.h>

using namespace murmelo;

using test::readFile;
using test::sha;
using test::writeFile;

namespace {

// Instead of the 50 MB floor of a real model.
constexpr qint64 FLOOR = 10000;

QByteArray noise(quint32 seed, int size) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) c = char(random.bounded(256));
    return bytes;
}

class ModelMirrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        models = env.root() + "/models";
        tiny = *modelWithID("tiny");
        parakeet = *modelWithID("parakeet-tdt-v3");
        // The test catalog: the real addresses, the sums of the small files served here.
        tiny.sha256 = sha(whisperFile);
        parakeet.files.clear();
        quint32 seed = 1;
        for (const QString& name : SherpaEngine::requiredFiles()) {
            const QByteArray data = noise(seed++, 6000);
            parakeet.files.append({name, sha(data)});
            writeFile(env.root() + "/good/sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8/" + name, data);
            writeFile(env.root() + "/tampered/sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8/" + name,
                      name == "joiner.int8.onnx" ? noise(99, 6000) : data);
        }
        ASSERT_NO_FATAL_FAILURE(test::tar({"cjf", env.root() + "/good.tar.bz2", "-C", env.root() + "/good", "."}));
        ASSERT_NO_FATAL_FAILURE(
            test::tar({"cjf", env.root() + "/tampered.tar.bz2", "-C", env.root() + "/tampered", "."}));
        archive = readFile(env.root() + "/good.tar.bz2");
        tamperedArchive = readFile(env.root() + "/tampered.tar.bz2");
        ASSERT_GT(archive.size(), FLOOR);

        // What the user has now, which no failed download may touch.
        writeFile(models + "/" + tiny.filename, "the old whisper model");
        for (const QString& name : SherpaEngine::requiredFiles())
            writeFile(models + "/" + parakeet.filename + "/" + name, "old " + name.toUtf8());
    }

    // The public path of the entry answers with a redirect to the storage server.
    void redirectToStorage(const ModelChoice& m, const QString& storagePath) {
        home.set(QUrl(m.url).path(), test::LocalHttpServer::redirect(storage.url(storagePath).toEncoded()));
    }

    std::pair<bool, std::optional<QString>> download(const ModelChoice& m) {
        ModelDownload job(m, models, FLOOR);
        std::optional<std::pair<bool, std::optional<QString>>> result;
        job.onDone = [&](bool ok, std::optional<QString> message) { result = {ok, message}; };
        job.start();
        EXPECT_TRUE(env.waitFor([&] { return result.has_value(); }));
        QThreadPool::globalInstance()->waitForDone();
        return result.value_or(std::make_pair(false, std::optional<QString>()));
    }

    QStringList inModels() const {
        return QDir(models).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    void expectOldModels(const std::string& what) {
        EXPECT_EQ(readFile(models + "/" + tiny.filename), "the old whisper model") << what;
        for (const QString& name : SherpaEngine::requiredFiles())
            EXPECT_EQ(readFile(models + "/" + parakeet.filename + "/" + name), "old " + name.toUtf8()) << what;
        EXPECT_EQ(inModels(), (QStringList{tiny.filename, parakeet.filename})) << what;
    }

    test::TestEnvironment env;
    test::LocalHttpServer home;     // stands where the public host is
    test::LocalHttpServer storage;  // where it redirects to
    test::ScopedEnv mirror{MODEL_MIRROR_ENV, home.url("").toString().toUtf8()};
    SettingsSeam seam;
    ScopedService<SettingsSeam> seamScope{seam};
    QString models;
    ModelChoice tiny, parakeet;
    const QByteArray whisperFile = noise(7, 30000);
    QByteArray archive, tamperedArchive;
};

}  // namespace

TEST_F(ModelMirrorTest, PublicAddressesFollowTheRedirectAndInstall) {
    redirectToStorage(tiny, "/blobs/tiny");
    storage.set("/blobs/tiny", {200, whisperFile});
    auto [ok, message] = download(tiny);
    EXPECT_TRUE(ok);
    EXPECT_EQ(message, std::nullopt);
    EXPECT_EQ(readFile(models + "/" + tiny.filename), whisperFile);
    EXPECT_TRUE(home.lastRequest().startsWith("GET /ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin HTTP/1.1"));

    redirectToStorage(parakeet, "/blobs/parakeet");
    storage.set("/blobs/parakeet", {200, archive});
    std::tie(ok, message) = download(parakeet);
    EXPECT_TRUE(ok);
    EXPECT_EQ(message, std::nullopt);
    for (const auto& [name, digest] : parakeet.files)
        EXPECT_EQ(sha(readFile(models + "/" + parakeet.filename + "/" + name)), digest) << name.toStdString();
    EXPECT_TRUE(home.lastRequest().startsWith(
        "GET /k2-fsa/sherpa-onnx/releases/download/asr-models/sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8.tar.bz2 "));
    // No archive, download or unpack folder is left behind.
    EXPECT_EQ(inModels(), (QStringList{tiny.filename, parakeet.filename}));
    EXPECT_EQ(home.requests(), 2);
    EXPECT_EQ(storage.requests(), 2);
}

TEST_F(ModelMirrorTest, FailuresLeaveThePreviousModelWithTheirLogLines) {
    struct Case {
        const char* name;
        test::LocalHttpServer::Reply stored;  // what the storage server answers
        QString line;                          // expected in the log
    };
    const QString tinyFailed = "загрузка модели tiny не удалась: ";
    const QString parakeetFailed = "загрузка модели parakeet-tdt-v3 не удалась: ";
    const QString loop = "слишком много перенаправлений: больше 5";
    const QString shortBody = "HTTP 200, получено " + humanBytes(4000);
    const QString elsewhere = "перенаправление отклонено: модели качаются только по https (по http — только с этого "
                              "компьютера): http://models.example.invalid/blob";
    const QByteArray localLoop = home.url(QUrl(tiny.url).path()).toEncoded();
    const QByteArray parakeetLoop = home.url(QUrl(parakeet.url).path()).toEncoded();
    const std::vector<std::pair<const ModelChoice*, Case>> cases{
        {&tiny,
         {"whisper bad sum", {200, noise(8, 30000)},
          "модель: контрольная сумма не сошлась: файл повреждён при загрузке или подменён. Ожидалось " +
              tiny.sha256.left(12) + "…, получено " + sha(noise(8, 30000)).left(12) + "…"}},
        {&tiny, {"whisper loop", test::LocalHttpServer::redirect(localLoop), tinyFailed + loop}},
        {&tiny, {"whisper short body", {200, whisperFile.left(4000), false}, tinyFailed + shortBody}},
        {&tiny, {"whisper broken off", {200, whisperFile, true, 4000}, tinyFailed}},
        {&tiny, {"whisper to http elsewhere", test::LocalHttpServer::redirect("http://models.example.invalid/blob"),
                 tinyFailed + elsewhere}},
        {&parakeet,
         {"parakeet bad sum", {200, tamperedArchive},
          "установка модели parakeet-tdt-v3 не удалась: Файл joiner.int8.onnx не прошёл проверку. Скачайте модель ещё раз."}},
        {&parakeet, {"parakeet loop", test::LocalHttpServer::redirect(parakeetLoop), parakeetFailed + loop}},
        {&parakeet, {"parakeet short body", {200, archive.left(4000), false}, parakeetFailed + shortBody}},
    };
    for (const auto& [model, c] : cases) {
        redirectToStorage(*model, "/blobs/x");
        storage.set("/blobs/x", c.stored);
        const int before = home.requests() + storage.requests();
        const int logBefore = env.logLines().size();
        const auto [ok, message] = download(*model);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_TRUE(message && !message->isEmpty()) << c.name;
        const QStringList lines = env.logLines().mid(logBefore);
        EXPECT_TRUE(lines.join('\n').contains(c.line)) << c.name << ": " << lines.join('\n').toStdString();
        ASSERT_NO_FATAL_FAILURE(expectOldModels(c.name));
        // A loop is cut after five redirects: six requests in all.
        if (QString(c.name).endsWith("loop")) {
            EXPECT_EQ(home.requests() + storage.requests() - before, 6) << c.name;
        }
    }
}
