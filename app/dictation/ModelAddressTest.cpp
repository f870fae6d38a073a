#include "dictation/ModelAddress.h"

#include "ScopedEnv.h"
#include "dictation/ModelCatalog.h"

#include <gtest/gtest.h>

using namespace murmelo;
using test::ScopedEnv;

namespace {

// The published homes of the catalog's files, written out in full.
const QList<std::pair<QString, QString>> PUBLIC_ADDRESSES{
    {"turbo", "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-large-v3-turbo.bin"},
    {"q5", "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-large-v3-turbo-q5_0.bin"},
    {"large-v3-q5", "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-large-v3-q5_0.bin"},
    {"tiny", "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-tiny.bin"},
    {"parakeet-tdt-v3", "https://github.com/k2-fsa/sherpa-onnx/releases/download/asr-models/"
                        "sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8.tar.bz2"},
};

QString pathOf(const QString& address) { return QUrl(address).path(); }

}  // namespace

TEST(ModelAddress, EveryCatalogEntryComesFromItsPublicHomeOrTheMirror) {
    ASSERT_EQ(MODELS().size(), PUBLIC_ADDRESSES.size());
    for (qsizetype i = 0; i < MODELS().size(); ++i) {
        const ModelChoice& m = MODELS()[i];
        const auto& [id, address] = PUBLIC_ADDRESSES[i];
        EXPECT_EQ(m.id, id);
        EXPECT_EQ(m.url, address) << id.toStdString();
        {
            ScopedEnv none(MODEL_MIRROR_ENV, std::nullopt);
            const ModelSource source = modelDownloadSource(QUrl(m.url));
            EXPECT_EQ(source.refusal, std::nullopt) << id.toStdString();
            EXPECT_EQ(source.url.toString(), address);
        }
        // The mirror takes scheme, host and port; the path is the public one.
        for (const char* mirror : {"http://127.0.0.1:8123", "https://mirror.example.org:8443/", "http://[::1]:9",
                                   "http://localhost:7"}) {
            ScopedEnv set(MODEL_MIRROR_ENV, QByteArray(mirror));
            const ModelSource source = modelDownloadSource(QUrl(m.url));
            EXPECT_EQ(source.refusal, std::nullopt) << mirror;
            const QUrl expected(QString::fromLatin1(mirror));
            EXPECT_EQ(source.url.scheme(), expected.scheme()) << mirror;
            EXPECT_EQ(source.url.host(), expected.host()) << mirror;
            EXPECT_EQ(source.url.port(), expected.port()) << mirror;
            EXPECT_EQ(source.url.path(), pathOf(address)) << mirror;
        }
    }
}

TEST(ModelAddress, PlainHttpOnlyOnThisMachine) {
    struct Case {
        const char* mirror;  // nullptr: none
        const char* address;
        bool allowed;
    };
    const std::vector<Case> cases{
        {nullptr, "https://huggingface.co/x.bin", true},
        {nullptr, "http://huggingface.co/x.bin", false},
        {nullptr, "http://127.0.0.1:8080/x.bin", true},
        {nullptr, "http://127.8.9.10/x.bin", true},
        {nullptr, "http://[::1]/x.bin", true},
        {nullptr, "http://LOCALHOST/x.bin", true},
        {nullptr, "http://10.0.0.1/x.bin", false},
        {nullptr, "ftp://127.0.0.1/x.bin", false},
        {nullptr, "file:///tmp/x.bin", false},
        {nullptr, "", false},
        {"http://mirror.example.org", "https://huggingface.co/x.bin", false},
        {"http://192.168.1.5:8000", "https://huggingface.co/x.bin", false},
        {"https://mirror.example.org", "http://huggingface.co/x.bin", true},
        // A mirror names a scheme and a host, nothing else.
        {"mirror.example.org", "https://huggingface.co/x.bin", false},
        {"https://mirror.example.org/models", "https://huggingface.co/x.bin", false},
        {"https://mirror.example.org/?a=1", "https://huggingface.co/x.bin", false},
        {"ftp://mirror.example.org", "https://huggingface.co/x.bin", false},
    };
    for (const Case& c : cases) {
        ScopedEnv mirror(MODEL_MIRROR_ENV, c.mirror ? std::optional<QByteArray>(c.mirror) : std::nullopt);
        const ModelSource source = modelDownloadSource(QUrl(QString::fromLatin1(c.address)));
        EXPECT_EQ(!source.refusal.has_value(), c.allowed) << c.mirror << " " << c.address;
        if (c.mirror && source.refusal && QUrl(c.mirror).path().size() > 1)
            EXPECT_TRUE(source.refusal->startsWith("MURMELO_MODEL_MIRROR не подходит")) << source.refusal->toStdString();
    }
    ScopedEnv plain(MODEL_MIRROR_ENV, QByteArray("http://mirror.example.org"));
    EXPECT_EQ(modelDownloadSource(QUrl(MODELS().first().url)).refusal,
              "адрес загрузки модели отклонён: модели качаются только по https (по http — только с этого компьютера): "
              "http://mirror.example.org/ggerganov/whisper.cpp/resolve/main/ggml-large-v3-turbo.bin");
}

TEST(ModelAddress, RedirectsNeverStepDown) {
    struct Case {
        const char* from;
        const char* to;
        bool followed;
    };
    const std::vector<Case> cases{
        {"https://huggingface.co/a", "https://cdn.example.org/b?sig=1", true},
        {"https://huggingface.co/a", "http://cdn.example.org/b", false},
        {"https://huggingface.co/a", "http://127.0.0.1/b", false},  // out of https, even to this machine
        {"http://127.0.0.1:1/a", "http://127.0.0.1:2/b", true},
        {"http://127.0.0.1:1/a", "https://cdn.example.org/b", true},
        {"http://127.0.0.1:1/a", "http://cdn.example.org/b", false},
        {"https://huggingface.co/a", "ftp://cdn.example.org/b", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(!modelRedirectRefusal(QUrl(c.from), QUrl(c.to)).has_value(), c.followed) << c.from << " -> " << c.to;
    // The signed query of a storage address stays out of the message.
    EXPECT_EQ(modelRedirectRefusal(QUrl("https://huggingface.co/a"), QUrl("http://cdn.example.org/b?sig=secret")),
              "перенаправление отклонено: модели качаются только по https (по http — только с этого компьютера): "
              "http://cdn.example.org/b");
}
