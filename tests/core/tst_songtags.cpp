#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <taglib/flacfile.h>
#include <taglib/xiphcomment.h>

#include "core/songtags.h"
#include "musicservice.h"
#include "tagreader.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

QByteArray jpeg(qsizetype size)
{
    QByteArray bytes("\xFF\xD8\xFF\xE0", 4);
    bytes.append(QByteArray(size - bytes.size(), 'j'));
    return bytes;
}

// The tone with a tag of the server's own: a title and a frame the tool never writes,
// in ID3v2 version `version`.
QByteArray servedWithTag(const QString &folder, int version)
{
    const QString path = folder + u"/served.mp3"_s;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(tone()) < 0)
        return {};
    file.close();
    {
        TagLib::MPEG::File mp3{TagFileName(path)};
        TagLib::ID3v2::Tag *tag = mp3.ID3v2Tag(true);
        auto *title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::Latin1);
        title->setText("Served title");
        tag->addFrame(title);
        auto *composer = new TagLib::ID3v2::TextIdentificationFrame("TCOM", TagLib::String::Latin1);
        composer->setText("Served composer");
        tag->addFrame(composer);
        mp3.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                 version == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);
    }
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ReadTag readBack(const QString &folder, const QByteArray &bytes)
{
    const QString path = folder + u"/written.mp3"_s;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    return readTag(path);
}

} // namespace

// What a downloaded song carries: the tag written before its audio, read back with TagLib.
class TestSongTags final : public QObject
{
    Q_OBJECT

private slots:
    void tagsTheCopy_data();
    void tagsTheCopy();
    void sampleFlacIsFlac();
    void tagsTheFlac_data();
    void tagsTheFlac();
    void flacHeads_data();
    void flacHeads();
};

void TestSongTags::tagsTheCopy_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<int>("servedVersion"); // 0: no tag of its own
    QTest::addColumn<QByteArray>("cover");
    QTest::addColumn<QString>("album");
    QTest::addColumn<TagOutcome>("outcome");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("hasCover");

    const QByteArray cover = jpeg(2000);
    QTest::newRow("a bare MP3 gets every frame")
        << tone() << 0 << cover << u"夜曲集"_s << TagOutcome::Tagged << 3 << u"晴天（Live）"_s << true;
    QTest::newRow("no album: no TALB")
        << tone() << 0 << cover << QString() << TagOutcome::Tagged << 3 << u"晴天（Live）"_s << true;
    QTest::newRow("its own title stays, the rest is added")
        << QByteArray() << 3 << cover << u"夜曲集"_s << TagOutcome::Tagged << 3 << u"Served title"_s << true;
    QTest::newRow("ID3v2.4 stays 2.4")
        << QByteArray() << 4 << cover << u"夜曲集"_s << TagOutcome::Tagged << 4 << u"Served title"_s << true;
    QTest::newRow("a PNG cover") << tone() << 0 << QByteArray("\x89PNG\r\n\x1A\n....", 12) << QString()
                                 << TagOutcome::Tagged << 3 << u"晴天（Live）"_s << true;
    QTest::newRow("a cover over 1 MiB is left out") << tone() << 0 << jpeg(kMaxCoverBytes + 1) << QString()
                                                    << TagOutcome::Tagged << 3 << u"晴天（Live）"_s << false;
    QTest::newRow("a GIF cover is left out") << tone() << 0 << QByteArray("GIF89a......") << QString()
                                             << TagOutcome::Tagged << 3 << u"晴天（Live）"_s << false;
    QTest::newRow("an HTML page stays as it is")
        << QByteArray("<html><body>404 Not Found</body></html>\n") << 0 << cover << QString()
        << TagOutcome::Untouched << 0 << QString() << false;
    QTest::newRow("noise stays as it is") << QByteArray(40000, '\xFF') << 0 << cover << QString()
                                          << TagOutcome::Untouched << 0 << QString() << false;
    QTest::newRow("an ID3 header claiming 256 MB stays as it is")
        << QByteArray("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + tone() << 0 << cover << QString()
        << TagOutcome::Untouched << 0 << QString() << false;
    QTest::newRow("an empty body stays empty")
        << QByteArray() << 0 << cover << QString() << TagOutcome::Untouched << 0 << QString() << false;
}

void TestSongTags::tagsTheCopy()
{
    QFETCH(QByteArray, served);
    QFETCH(int, servedVersion);
    QFETCH(QByteArray, cover);
    QFETCH(QString, album);
    QFETCH(TagOutcome, outcome);
    QFETCH(int, version);
    QFETCH(QString, title);
    QFETCH(bool, hasCover);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (servedVersion != 0)
        served = servedWithTag(folder.path(), servedVersion);
    qint64 servedTagSize = 0;
    if (servedVersion != 0) {
        servedTagSize = readBack(folder.path(), served).tagSize;
        QVERIFY(servedTagSize > 0);
    }

    const QString lyrics = u"夜色里的海港\r\n亮着一盏蓝灯"_s;
    const SongTags tags{u"晴天（Live）"_s, u"周杰伦"_s, album, lyrics, cover};
    QBuffer downloaded(&served);
    QVERIFY(downloaded.open(QIODevice::ReadOnly));
    QByteArray written;
    QBuffer out(&written);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(copyWithTags(downloaded, out, tags), outcome);

    if (outcome == TagOutcome::Untouched) {
        QCOMPARE(written, served);
        return;
    }
    const ReadTag result = readBack(folder.path(), written);
    QCOMPARE(result.version, version);
    // The audio after the tag is what was served after its own tag, byte for byte.
    QVERIFY(written.mid(result.tagSize) == served.mid(servedTagSize));
    QCOMPARE(result.text.value(u"TIT2"_s), title);
    QCOMPARE(result.text.value(u"TPE1"_s), u"周杰伦"_s);
    QCOMPARE(result.text.value(u"TALB"_s), album);
    QCOMPARE(result.text.value(u"USLT"_s), u"chi|"_s + lyrics);
    QVERIFY(result.ownTextInUtf16);
    if (servedVersion != 0)
        QCOMPARE(result.text.value(u"TCOM"_s), u"Served composer"_s);
    QCOMPARE(!result.cover.isEmpty(), hasCover);
    if (hasCover) {
        QCOMPARE(result.cover, cover);
        QCOMPARE(result.coverType,
                 (cover.startsWith("\x89PNG") ? u"image/png"_s : u"image/jpeg"_s) + u" 3"_s);
    }
}

// The stand-in service's FLAC, which the quality tests save and tag, is a stream every
// reader takes: TagLib reads its audio, tags it, and the frames stay as they were.
void TestSongTags::sampleFlacIsFlac()
{
    const QByteArray flac = flacTone(4);
    QVERIFY(flac.startsWith("fLaC"));
    QTemporaryDir folder;
    const QString path = folder.filePath(u"tone.flac"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(flac);
    file.close();
    {
        TagLib::FLAC::File read{TagFileName(path)};
        QVERIFY(read.isValid());
        QCOMPARE(read.audioProperties()->sampleRate(), 8000);
        QCOMPARE(read.audioProperties()->bitsPerSample(), 16);
        QCOMPARE(read.audioProperties()->lengthInSeconds(), 4);
        read.xiphComment(true)->setTitle(TagLib::String("晴天", TagLib::String::UTF8));
        QVERIFY(read.save());
    }
    TagLib::FLAC::File tagged{TagFileName(path)};
    QVERIFY(tagged.isValid());
    QCOMPARE(fromTagText(tagged.xiphComment()->title()), u"晴天"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // The frames (after STREAMINFO, the first 42 bytes) end the tagged file unchanged.
    QVERIFY(file.readAll().endsWith(flac.mid(42)));
}

namespace {

QByteArray realJpeg()
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return buffer.data();
}

// The FLAC `plan` makes of `served`, as a download writes it.
QByteArray planned(const QByteArray &served, const TagPlan &plan)
{
    return plan.tag + served.mid(plan.audioStart);
}

} // namespace

void TestSongTags::tagsTheFlac_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("title"); // of the song; empty: none
    QTest::addColumn<bool>("tagged");   // false: no plan, saved as served
    QTest::addColumn<QString>("savedTitle");
    QTest::addColumn<int>("pictures");

    const QByteArray bare = flacTone(2);
    // A FLAC with its own comment and picture, as another tool tags one.
    const QByteArray own = [&bare] {
        const auto plan = planFlacTag(bare, {u"Served title"_s, {}, {}, {}, realJpeg()});
        return plan ? planned(bare, *plan) : QByteArray();
    }();
    QTest::newRow("a bare FLAC gets every field and the cover") << bare << u"晴天"_s << true << u"晴天"_s << 1;
    QTest::newRow("its own title and picture stay, the rest is added")
        << own << u"晴天"_s << true << u"Served title"_s << 1;
    QTest::newRow("an MP3 is no FLAC") << tone() << u"晴天"_s << false << QString() << 0;
    QTest::newRow("cut inside its metadata") << bare.first(30) << u"晴天"_s << false << QString() << 0;
}

void TestSongTags::tagsTheFlac()
{
    QFETCH(QByteArray, served);
    QFETCH(QString, title);
    QFETCH(bool, tagged);
    QFETCH(QString, savedTitle);
    QFETCH(int, pictures);
    const SongTags tags{title, u"周杰伦"_s, u"叶惠美"_s, u"故事的小黄花\n从出生那年就飘着"_s, realJpeg()};
    const std::optional<TagPlan> plan = planFlacTag(served, tags);
    QCOMPARE(bool(plan), tagged);
    if (!plan)
        return;
    QTemporaryDir folder;
    QFile file(folder.filePath(u"song.flac"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(planned(served, *plan));
    file.close();
    const ReadFlac read = readFlac(file.fileName());
    QVERIFY(read.valid);
    QCOMPARE(read.comments.value(u"TITLE"_s), savedTitle);
    QCOMPARE(read.comments.value(u"ARTIST"_s), u"周杰伦"_s);
    QCOMPARE(read.comments.value(u"LYRICS"_s), u"故事的小黄花\n从出生那年就飘着"_s);
    QCOMPARE(read.pictures, pictures);
    QCOMPARE(read.coverType, u"image/jpeg 3 24x16x24"_s);
    // The audio frames byte for byte.
    QCOMPARE(read.audio, flacAudio(served));
}

void TestSongTags::flacHeads_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qint64>("needed"); // -1: more; 0: too much to hold

    const QByteArray bare = flacTone(1);
    QTest::newRow("its metadata") << bare << qint64(42);
    QTest::newRow("cut inside a block: its length is known") << bare.first(20) << qint64(42);
    QTest::newRow("cut inside a block's header") << bare.first(6) << qint64(-1);
    // A block of 16 MiB, not the last one: past what is held in memory.
    QTest::newRow("metadata too big to hold")
        << QByteArray("fLaC\x06\xff\xff\xff", 8) + QByteArray(16, '\0') << qint64(0);
    // Thousands of empty blocks: not worth listing.
    QTest::newRow("too many blocks") << QByteArray("fLaC") + QByteArray("\x01\0\0\0", 4).repeated(1000) << qint64(0);
}

void TestSongTags::flacHeads()
{
    QFETCH(QByteArray, head);
    QFETCH(qint64, needed);
    QCOMPARE(flacHeadBytes(head), needed);
}

QTEST_GUILESS_MAIN(TestSongTags)
#include "tst_songtags.moc"
