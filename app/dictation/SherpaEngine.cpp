#include "dictation/SherpaEngine.h"

#include "base/Log.h"

#include <QDir>
#include <QFileInfo>

namespace murmelo {

const QStringList& SherpaEngine::requiredFiles() {
    static const QStringList files{QStringLiteral("encoder.int8.onnx"), QStringLiteral("decoder.int8.onnx"),
                                   QStringLiteral("joiner.int8.onnx"), QStringLiteral("tokens.txt")};
    return files;
}

bool SherpaEngine::modelComplete(const QString& dir) {
    for (const QString& name : requiredFiles())
        if (!QFileInfo::exists(QDir(dir).filePath(name))) return false;
    return true;
}

}  // namespace murmelo
