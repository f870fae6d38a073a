#pragma once
#include <QString>
#include <QUrl>
#include <optional>

namespace murmelo {

// Where the catalog's files are published. A build may name other hosts for them
// (MURMELO_WHISPER_MODEL_HOST, MURMELO_RELEASE_HOST); the paths stay.
inline constexpr const char* WHISPER_MODEL_HOST = "huggingface.co";
inline constexpr const char* WHISPER_MODEL_PATH = "/ggerganov/whisper.cpp/resolve/main/";
inline constexpr const char* RELEASE_HOST = "github.com";
inline constexpr const char* PARAKEET_ARCHIVE_PATH =
    "/k2-fsa/sherpa-onnx/releases/download/asr-models/sherpa-onnx-nemo-parakeet-tdt-0.6b-v3-int8.tar.bz2";

// Replaces the scheme and host (with port) of every model download: a mirror, or a test
// server on this machine. "https://mirror.example.org" or "http://127.0.0.1:8080".
inline constexpr const char* MODEL_MIRROR_ENV = "MURMELO_MODEL_MIRROR";

// The public addresses hosts redirect to storage; more than this is a loop.
inline constexpr int MODEL_DOWNLOAD_MAX_REDIRECTS = 5;

// "https://" + the build's host, or the public one when the build names none, + the path.
QString modelAddress(const char* buildHost, const char* publicHost, const QString& path);

// A model comes over https; plain http only from this machine (tests, a local mirror).
bool isPermittedModelAddress(const QUrl& url);

// Where a download of the published address goes: the mirror's scheme and host when the
// environment names one, else the address itself. refusal says why nothing may be fetched.
struct ModelSource {
    QUrl url;
    std::optional<QString> refusal;
};
ModelSource modelDownloadSource(const QUrl& published);

// Why a redirect from one address to the next is not followed; none when it may be.
// https never steps down to http, and http stays on this machine.
std::optional<QString> modelRedirectRefusal(const QUrl& from, const QUrl& to);

}  // namespace murmelo
