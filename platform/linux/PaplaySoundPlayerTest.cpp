#include "linux/PaplaySoundPlayer.h"

#include "platform/Folders.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace murmelo;
using linuxdesktop::PaplaySoundPlayer;

TEST(PaplaySoundPlayer, TonesAreDistinctWellFormedWavFiles) {
    QList<QByteArray> seen;
    for (const char* name : {"Pop", "Tink", "Bottle"}) {
        const QByteArray wav = PaplaySoundPlayer::toneWav(QString::fromLatin1(name));
        ASSERT_GT(wav.size(), 44) << name;
        EXPECT_TRUE(wav.startsWith("RIFF")) << name;
        EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt ")) << name;
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), quint32(wav.size() - 8)) << name;
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 40), quint32(wav.size() - 44)) << name;
        EXPECT_FALSE(seen.contains(wav)) << name;
        seen << wav;
    }
    EXPECT_TRUE(PaplaySoundPlayer::toneWav(QStringLiteral("Glass")).isEmpty());
}

TEST(PaplaySoundPlayer, LoadWritesTheToneToTheCacheAndRefusesUnknownNames) {
    QTemporaryDir root;
    Folders::overrideRoot(root.path());
    PaplaySoundPlayer player;
    EXPECT_EQ(player.load(QStringLiteral("Glass")), nullptr);
    ASSERT_NE(player.load(QStringLiteral("Tink")), nullptr);
    QFile file(Folders::join(Folders::join(Folders::caches(), QStringLiteral("sounds")), QStringLiteral("Tink.wav")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), PaplaySoundPlayer::toneWav(QStringLiteral("Tink")));
    Folders::clearOverride();
}
