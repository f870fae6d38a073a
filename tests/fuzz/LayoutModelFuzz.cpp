// A layout model file (the character trigram model), loaded and asked to score words.
#include "FuzzSupport.h"
#include "layout/NgramModel.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = fuzz::root() + "/model.json";
    fuzz::writeFile(path, fuzz::bytes(data, size));
    if (const auto model = NgramModel::load(path)) {
        for (const QString& word : {QStringLiteral("ghbdtn"), QStringLiteral("привет"), QStringLiteral("a"),
                                    QStringLiteral("Ünïcödé"), QString()})
            (void)model->score(word);
    }
    return 0;
}
