#include "dictation/SherpaEngine.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

using test::readFile;
using test::sha;
using test::writeFile;

class SherpaInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        models = env.root() + "/models";
        dest = models + "/parakeet-tdt-v3";
        archive = models + "/parakeet-tdt-v3.tar.bz2";
        model.id = model.filename = "parakeet-tdt-v3";
        model.engine = ASREngine::sherpa;
        for (const QString& name : SherpaEngine::requiredFiles()) {
            contents[name] = "new " + name.toUtf8();
            model.files.append({name, sha(contents[name])});
        }
    }
    // A bzip2 tar of the staged tree, as the release publishes it.
    void pack(const std::function<void(const QString& stage)>& fill) {
        const QString stage = env.root() + "/stage";
        QDir(stage).removeRecursively();
        QDir().mkpath(stage);
        fill(stage);
        QDir().mkpath(models);
        test::tar({"cjf", archive, "-C", stage, "."});
    }
    void packModel(const QString& folder = "sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8") {
        pack([&](const QString& stage) {
            for (auto it = contents.begin(); it != contents.end(); ++it) writeFile(stage + "/" + folder + "/" + it.key(), it.value());
        });
    }
    void installOld() {
        for (const QString& name : SherpaEngine::requiredFiles()) writeFile(dest + "/" + name, "old " + name.toUtf8());
    }
    bool oldIntact() { return readFile(dest + "/joiner.int8.onnx") == "old joiner.int8.onnx"; }
    // Only the model folder and whatever the test left there besides.
    QStringList inModels() { return QDir(models).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    test::TestEnvironment env;
    QString models, dest, archive;
    ModelChoice model;
    QMap<QString, QByteArray> contents;
};

TEST_F(SherpaInstallerTest, ReplacesTheModelAndCleansUp) {
    installOld();
    // A leftover of an earlier run is neither reused nor in the way.
    writeFile(models + "/.parakeet-tdt-v3.00000000-0000-0000-0000-000000000000.unpack/junk", "x");
    packModel();
    EXPECT_EQ(SherpaEngine::installArchive(archive, dest, model), std::nullopt);
    for (const QString& name : SherpaEngine::requiredFiles()) EXPECT_EQ(readFile(dest + "/" + name), contents[name]);
    EXPECT_EQ(inModels(), (QStringList{".parakeet-tdt-v3.00000000-0000-0000-0000-000000000000.unpack", "parakeet-tdt-v3"}));
}

TEST_F(SherpaInstallerTest, FirstInstall) {
    packModel();
    EXPECT_EQ(SherpaEngine::installArchive(archive, dest, model), std::nullopt);
    EXPECT_TRUE(SherpaEngine::modelComplete(dest));
    EXPECT_EQ(inModels(), QStringList{"parakeet-tdt-v3"});
}

TEST_F(SherpaInstallerTest, BadArchivesLeaveTheOldModel) {
    struct Case {
        const char* name;
        std::function<void()> make;
        QString message;
        QString tool = "/usr/bin/tar";
    };
    const std::vector<Case> cases{
        {"files at the top level",
         [&] {
             pack([&](const QString& stage) {
                 for (auto it = contents.begin(); it != contents.end(); ++it) writeFile(stage + "/" + it.key(), it.value());
             });
         },
         "В архиве не хватает файлов модели. Скачайте её ещё раз."},
        {"a file missing",
         [&] {
             contents.remove("tokens.txt");
             packModel();
             contents["tokens.txt"] = "new tokens.txt";
         },
         "В архиве не хватает файлов модели. Скачайте её ещё раз."},
        {"joiner differs",
         [&] {
             contents["joiner.int8.onnx"] = "tampered";
             packModel();
             contents["joiner.int8.onnx"] = "new joiner.int8.onnx";
         },
         "Файл joiner.int8.onnx не прошёл проверку. Скачайте модель ещё раз."},
        {"not an archive", [&] { writeFile(archive, QByteArray(4096, 'z')); },
         "Не удалось распаковать модель. Скачайте её ещё раз."},
        {"no archive tool", [&] { packModel(); }, "Не удалось открыть архив модели: ", "/nonexistent/tar"},
    };
    for (const Case& c : cases) {
        installOld();
        c.make();
        const auto message = SherpaEngine::installArchive(archive, dest, model, c.tool);
        ASSERT_TRUE(message) << c.name;
        EXPECT_TRUE(message->startsWith(c.message)) << c.name << ": " << message->toStdString();
        EXPECT_TRUE(oldIntact()) << c.name;
        EXPECT_EQ(inModels(), QStringList{"parakeet-tdt-v3"}) << c.name;  // archive and unpack folder gone
    }
}

TEST_F(SherpaInstallerTest, TheLoadedRecogniserIsReleasedFirst) {
    installOld();
    SherpaRuntime runtime({QStringLiteral(MURMELO_SHERPA_STUB)});
    SherpaEngine engine;
    engine.release = [&](const QString& dir) { runtime.release(dir); };
    ScopedService<SherpaEngine> scope(engine);
    ASSERT_TRUE(runtime.load(dest));
    packModel();
    EXPECT_EQ(SherpaEngine::installArchive(archive, dest, model), std::nullopt);
    EXPECT_FALSE(runtime.isLoaded());
    EXPECT_TRUE(env.logContains("Parakeet model unloaded"));
    // The next dictation loads the new files.
    EXPECT_EQ(runtime.transcribe({0.1f}, 16000, dest), QStringLiteral("new tokens.txt 1 16000"));
}
