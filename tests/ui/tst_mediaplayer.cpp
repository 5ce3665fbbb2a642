#include <QAudioOutput>
#include <QFile>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QTest>

#include "httptestserver.h"
#include "platform/mediaplayer.h"

using namespace Qt::StringLiterals;
using namespace corvane::testing;
using corvane::platform::MediaPlayer;

class TestMediaPlayer final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void storedSettings();
    void volumeIsClamped_data();
    void volumeIsClamped();
    void playsServedMp3();
    void unplayableAddressShowsInTheBar_data();
    void unplayableAddressShowsInTheBar();

private:
    HttpTestServer m_server;
};

void TestMediaPlayer::initTestCase()
{
    QFile tone(QStringLiteral(CORVANE_MEDIA_DIR "/tone-440.mp3"));
    QVERIFY(tone.open(QIODevice::ReadOnly));
    const QByteArray mp3 = tone.readAll();
    m_server.setHandler([mp3](const HttpRequest &request) {
        if (request.path() == "/tone.mp3")
            return HttpResponse::text(mp3, "audio/mpeg");
        if (request.path() == "/page.mp3")
            return HttpResponse::text("<html>IPDeny</html>", "text/html");
        return HttpResponse::text("missing", "text/plain", 404);
    });
    QVERIFY(m_server.listen());
}

void TestMediaPlayer::storedSettings()
{
    MediaPlayer player;
    QCOMPARE(player.settings().volume(), 50);
    QVERIFY(player.settings().autoStart());
    QVERIFY(!player.settings().mute());
    QCOMPARE(player.URL(), QString());
    QCOMPARE(player.stateText(), u"无媒体"_s);
    // The media engine is not loaded until something is to be played.
    QVERIFY(!player.findChild<QMediaPlayer *>());
}

void TestMediaPlayer::volumeIsClamped_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("volume");
    QTest::newRow("100") << 100 << 100;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("above") << 250 << 100;
    QTest::newRow("below") << -5 << 0;
}

void TestMediaPlayer::volumeIsClamped()
{
    QFETCH(int, requested);
    QFETCH(int, volume);
    MediaPlayer player;
    player.settings().setVolume(requested);
    QCOMPARE(player.settings().volume(), volume);
    QCOMPARE(qRound(player.audioOutput()->volume() * 100), volume);
}

void TestMediaPlayer::playsServedMp3()
{
    MediaPlayer player;
    player.resize(473, 41);
    player.show();
    player.setURL(QString::fromLatin1(m_server.url("/tone.mp3")));
    // The bar shows the whole length at once, so a user sees whether the link is a clip.
    QTRY_VERIFY_WITH_TIMEOUT(player.mediaPlayer()->duration() > 2500, 15000);
    QVERIFY(player.mediaPlayer()->duration() < 3500);
    QTRY_VERIFY_WITH_TIMEOUT(player.mediaPlayer()->position() > 200, 15000);
    QCOMPARE(player.mediaPlayer()->playbackState(), QMediaPlayer::PlayingState);
    QVERIFY(player.findChild<QLabel *>(u"time"_s)->text().endsWith(u"/ 0:03"_s));
    QVERIFY(player.findChild<QSlider *>(u"seek"_s)->isEnabled());
    QCOMPARE(m_server.requests().first().method, QByteArray("GET"));
}

void TestMediaPlayer::unplayableAddressShowsInTheBar_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("a page, not audio") << u"/page.mp3"_s;
    QTest::newRow("404") << u"/missing.mp3"_s;
}

void TestMediaPlayer::unplayableAddressShowsInTheBar()
{
    QFETCH(QString, path);
    MediaPlayer player;
    player.setURL(u"http://"_s + m_server.origin() + path);
    QTRY_COMPARE_WITH_TIMEOUT(player.stateText(), u"无法播放"_s, 15000);
    QCOMPARE(player.findChild<QLabel *>(u"time"_s)->text(), u"无法播放"_s);
    player.setURL(QString());
    QCOMPARE(player.stateText(), u"无媒体"_s);
}

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
