#pragma once
#include "dictation/Downloader.h"
#include "dictation/ModelCatalog.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// The settings window's download of one catalog model into the models folder: a single-file
// model is checked against its catalog digest; the transducer model arrives as an archive,
// which is unpacked, checked file by file and swapped in on a worker thread. Progress goes to
// the settings seam; onDone is called once, on the main queue. Start it on the main thread.
class ModelDownload : public QObject {
public:
    ModelDownload(ModelChoice model, QString modelsDir, qint64 minimumBytes = MIN_MODEL_BYTES,
                  QObject* parent = nullptr);

    // message: none on success, else what to show the user.
    std::function<void(bool ok, std::optional<QString> message)> onDone;
    void start();

    // Where the archive of a folder model is kept until it is installed.
    QString archivePath() const;

private:
    void downloaded(bool ok, std::optional<QString> error);

    ModelChoice model_;
    QString modelsDir_;
    Downloader downloader_;
};

}  // namespace murmelo
