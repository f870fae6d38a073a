// The settings file: loaded as the program loads it, every key read by every typed reader.
#include "FuzzSupport.h"
#include "base/Defaults.h"

#include <QJsonValue>

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = fuzz::root() + "/Murmelo/defaults.json";
    fuzz::writeFile(path, fuzz::bytes(data, size));
    {
        Defaults d(path);
        for (const QString& key : d.keys()) {
            (void)d.boolValue(key);
            (void)d.integerValue(key);
            (void)d.integerObject(key);
            (void)d.doubleValue(key);
            (void)d.realBool(key);
            (void)d.stringValue(key);
            (void)d.stringSetValue(key);
            (void)d.dictionaryValue(key);
            (void)d.dataValue(key);
            if (const auto v = d.object(key)) (void)Defaults::decode(Defaults::encode(*v));
        }
        // Set-aside copies would pile up over a run.
        if (!d.setAsidePath().isEmpty()) QFile::remove(d.setAsidePath());
    }
    QFile::remove(path);
    return 0;
}
