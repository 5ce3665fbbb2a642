#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/downloaderrors.h"
#include "desktop/desktop.h"
#include "httptestserver.h"
#include "markup.h"
#include "scripteddesktop.h"
#include "widgets/downloader.h"
#include "widgets/elidinglabel.h"

using namespace Qt::StringLiterals;
using namespace corvane::testing;
using corvane::testing::ScriptedDesktop;
using corvane::widgets::Downloader;

namespace {

QByteArray pattern()
{
    QByteArray block(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 7 + i / 251) & 0xff);
    // It opens as an MP3 does, with a frame header: only audio is kept.
    block[0] = char(0xff);
    block[1] = char(0xfb);
    return block;
}

QList<QDialog *> downloadWindows()
{
    QList<QDialog *> windows;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(top); dialog && dialog->isVisible())
            windows << dialog;
    }
    return windows;
}

} // namespace

class TestDownloader final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void downloadArrivesWhole();
    void failureLeavesNothing_data();
    void failureLeavesNothing();
    void cancelCleansUp_data();
    void cancelCleansUp();
    void declinedSaveDialogLeavesNothing();
    void existingFileSurvivesAFailure();
    void existingFileIsReplacedWhole();
    void callerNameWinsOverServerName();
    void dialogOpensInTheLastFolder();
    void errorsInWords_data();
    void errorsInWords();
    void unsavableTargetsInWords_data();
    void unsavableTargetsInWords();
    void otherAddressesAreIgnored_data();
    void otherAddressesAreIgnored();
    void namesShowAsText_data();
    void namesShowAsText();
    void saveDialogAddsMp3();
    void folderDialogMakesATypedFolder();

private:
    QString target() const { return m_dir->filePath(u"song.mp3"_s); }
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files); }

    HttpTestServer m_server;
    ScriptedDesktop m_desktop;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_window;
    Downloader *m_downloader = nullptr;
    QString m_suggested;
    bool m_decline = false;
    QString m_choice; // the path the save dialog answers with, else target()
};

void TestDownloader::initTestCase()
{
    const QByteArray block = pattern();
    m_server.setHandler([block](const HttpRequest &request) {
        const QByteArray path = request.path();
        if (path == "/music/song.mp3" || path == "/named") {
            HttpResponse response = HttpResponse::text(block, "audio/mpeg");
            response.repeat = 24; // 6 MiB
            if (path == "/named")
                response.withHeader("Content-Disposition", "attachment; filename=\"named.mp3\"");
            return response;
        }
        if (path == "/reset.mp3") {
            HttpResponse response = HttpResponse::text(block, "audio/mpeg");
            response.repeat = 24;
            response.resetAfter = 3 * 1024 * 1024;
            return response;
        }
        if (path == "/stall.mp3") {
            HttpResponse response;
            response.stall = true;
            return response;
        }
        if (path == "/endless.mp3") {
            HttpResponse response = HttpResponse::text(block, "audio/mpeg");
            response.repeat = 1 << 20; // far more than the test lets through
            response.sendContentLength = false; // its length would not fit on the disk
            return response;
        }
        return HttpResponse::text("missing", "text/html", 404);
    });
    QVERIFY(m_server.listen());
}

void TestDownloader::init()
{
    // Each reply is ended once: aborting a finished one makes Qt report an internal problem.
    QTest::failOnWarning(QRegularExpression(u"Internal problem"_s));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<QWidget>();
    m_downloader = new Downloader(m_desktop, m_window.get());
    m_downloader->setSilent(true);
    m_decline = false;
    m_choice.clear();
    m_desktop.setSaveChooser([this](const QString &suggested) {
        m_suggested = suggested;
        return m_decline ? QString() : m_choice.isEmpty() ? target() : m_choice;
    });
}

void TestDownloader::cleanup()
{
    m_window.reset();
}

void TestDownloader::downloadArrivesWhole()
{
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/named")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(downloadWindows().size(), 1);
    QVERIFY2(ended.first().at(1).toBool(), qPrintable(ended.first().at(2).toString()));
    QCOMPARE(ended.first().at(0).toString(), target());
    QVERIFY(m_suggested.endsWith(u"/named.mp3"_s));
    QCOMPARE(files(), QStringList{u"song.mp3"_s});

    QFile file(target());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (int i = 0; i < 24; ++i)
        expected += pattern();
    QCOMPARE(file.size(), expected.size());
    QCOMPARE(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256),
             QCryptographicHash::hash(expected, QCryptographicHash::Sha256));
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::failureLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("reset mid-body") << QByteArray("/reset.mp3");
    QTest::newRow("404") << QByteArray("/missing.mp3");
}

void TestDownloader::failureLeavesNothing()
{
    QFETCH(QByteArray, path);
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url(path)));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QVERIFY(!ended.first().at(1).toBool());
    QVERIFY(files().isEmpty());
    // Silent: the failure shows in the progress window alone.
    QCOMPARE(downloadWindows().size(), 1);
    downloadWindows().first()->close();
}

void TestDownloader::cancelCleansUp_data()
{
    QTest::addColumn<bool>("tagged");
    QTest::newRow("saved as served") << false;
    // Written beside the target until it is whole: that part goes too.
    QTest::newRow("to be tagged") << true;
}

void TestDownloader::cancelCleansUp()
{
    QFETCH(bool, tagged);
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/endless.mp3")), QString(),
                           {tagged ? corvane::SongTags{u"晴天"_s, u"周杰伦"_s, {}, {}, {}} : corvane::SongTags{}, {}});
    QTRY_COMPARE_WITH_TIMEOUT(downloadWindows().size(), 1, 10000);
    QTRY_VERIFY(!m_suggested.isEmpty());
    // Writing has begun once the window counts bytes and speed; never under the final name.
    const QList<QDialog *> windows = downloadWindows();
    const auto counting = [&windows] {
        for (const QLabel *label : windows.first()->findChildren<QLabel *>()) {
            if (label->text().endsWith(u"/s"_s))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(counting(), 10000);
    QVERIFY(!QFile::exists(target()));
    QTest::mouseClick(windows.first()->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(files().isEmpty());
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(!ended.first().at(1).toBool());
    QVERIFY(files().isEmpty());
}

void TestDownloader::declinedSaveDialogLeavesNothing()
{
    m_decline = true;
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/music/song.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
    QVERIFY(files().isEmpty());
    // No window to close by hand: as if the button had not been pressed.
    QTRY_VERIFY(downloadWindows().isEmpty());
}

void TestDownloader::existingFileSurvivesAFailure()
{
    const QByteArray old("the song saved yesterday");
    QFile existing(target());
    QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write(old) == old.size());
    existing.close();
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/reset.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QVERIFY(!ended.first().at(1).toBool());
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), old);
    QCOMPARE(files(), QStringList{u"song.mp3"_s});
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::existingFileIsReplacedWhole()
{
    QFile existing(target());
    QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("old") == 3);
    existing.close();
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/music/song.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QVERIFY(ended.first().at(1).toBool());
    QCOMPARE(QFileInfo(target()).size(), 24 * pattern().size());
    QCOMPARE(files(), QStringList{u"song.mp3"_s});
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::callerNameWinsOverServerName()
{
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/named")), u"周杰伦 - 晴天.mp3"_s);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(QFileInfo(m_suggested).fileName(), u"周杰伦 - 晴天.mp3"_s);
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::dialogOpensInTheLastFolder()
{
    // Never the working folder: a standard folder of the user's, or the one it is given.
    const QString first = Downloader::defaultFolder();
    QVERIFY(QFileInfo(first).isDir());
    QVERIFY(first == QStandardPaths::writableLocation(QStandardPaths::MusicLocation) ||
            first == QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) ||
            first == QDir::homePath());
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/named")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(QFileInfo(m_suggested).absolutePath(), QFileInfo(first).absoluteFilePath());
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/named")), {}, {}, m_dir->path());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 20000);
    QCOMPARE(QFileInfo(m_suggested).absolutePath(), QFileInfo(m_dir->path()).absoluteFilePath());
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::errorsInWords_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::newRow("refused") << u"http://127.0.0.1:1/a.mp3"_s << u"下载失败：服务器拒绝连接"_s;
    QTest::newRow("not found") << QString::fromLatin1(m_server.url("/missing.mp3"))
                               << u"服务器上没有这个文件 (HTTP 404)"_s;
    QTest::newRow("connection lost") << QString::fromLatin1(m_server.url("/reset.mp3"))
                                     << u"下载失败：连接中断"_s;
}

void TestDownloader::errorsInWords()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(address);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(ended.first().at(2).toString(), message);
    QCOMPARE(corvane::describeFileError(QFileDevice::ResourceError, u"/m/a.mp3"_s),
             u"无法保存 "_s + QDir::toNativeSeparators(u"/m/a.mp3"_s) + u"：磁盘空间不足"_s);
    for (QDialog *window : downloadWindows())
        window->close();
}

void TestDownloader::unsavableTargetsInWords_data()
{
    QTest::addColumn<QString>("folder"); // inside the test's folder
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a typed folder that is not there")
        << u"missing/deeper"_s << false << u"song.mp3"_s << u"文件夹不存在"_s;
    QTest::newRow("a folder of that name in the way")
        << u"in the way"_s << true << u"."_s << u"已有同名文件夹"_s;
}

void TestDownloader::unsavableTargetsInWords()
{
    QFETCH(QString, folder);
    QFETCH(bool, folderExists);
    QFETCH(QString, fileName);
    QFETCH(QString, reason);
    if (folderExists)
        QVERIFY(QDir().mkpath(m_dir->filePath(folder)));
    const QString path = QDir::cleanPath(m_dir->filePath(folder) + u'/' + fileName);
    m_choice = path;
    QSignalSpy ended(m_downloader, &Downloader::downloadEnded);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/music/song.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(ended.first().at(1).toBool(), false);
    QCOMPARE(ended.first().at(2).toString(),
             u"无法保存 "_s + QDir::toNativeSeparators(path) + u"："_s + reason);
    // The window names the file the user chose, not the one suggested.
    const QList<QDialog *> windows = downloadWindows();
    QCOMPARE(windows.size(), 1);
    QStringList texts;
    for (QLabel *label : windows.first()->findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains(QFileInfo(path).fileName()), qPrintable(texts.join(u" | "_s)));
    windows.first()->close();
}

void TestDownloader::otherAddressesAreIgnored_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("no host") << u"http:///"_s;
    QTest::newRow("a word") << u"IPDeny"_s;
    QTest::newRow("file") << u"file:///etc/passwd"_s;
}

void TestDownloader::otherAddressesAreIgnored()
{
    QFETCH(QString, address);
    // A download window exists at once and shows only later: counted shown or not.
    const auto dialogs = [] {
        qsizetype count = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            count += qobject_cast<QDialog *>(top) != nullptr;
        return count;
    };
    const qsizetype before = dialogs();
    m_downloader->Navigate(address);
    QCOMPARE(dialogs(), before);
}

void TestDownloader::namesShowAsText_data()
{
    static QTemporaryDir dir;
    addMarkupRows(writeRedSquare(dir.path()));
}

void TestDownloader::namesShowAsText()
{
    QFETCH(QString, text);
    m_downloader->Navigate(QString::fromLatin1(m_server.url("/stall.mp3")), text);
    // A server slow to answer gets the window, with the name, before the save dialog.
    QTRY_COMPARE_WITH_TIMEOUT(downloadWindows().size(), 1, 5000);
    QDialog *window = downloadWindows().constFirst();
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    // The whole name, though a long one is shown shortened.
    QVERIFY(std::any_of(labels.begin(), labels.end(), [&](QLabel *label) {
        const auto *name = qobject_cast<corvane::widgets::ElidingLabel *>(label);
        return name && name->fullText() == text;
    }));
    for (QLabel *label : labels)
        QVERIFY2(showsAsText(label), qPrintable(label->text()));
    QVERIFY(!showsRed(window));
}

void TestDownloader::saveDialogAddsMp3()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    corvane::desktop::setUpSaveDialog(dialog);
    QCOMPARE(dialog.defaultSuffix(), u"mp3"_s);
    // The user picks the other filter, then the MP3 one again.
    auto *types = dialog.findChild<QComboBox *>(u"fileTypeCombo"_s);
    QVERIFY(types);
    QTest::keyClick(types, Qt::Key_Down);
    QCOMPARE(dialog.selectedNameFilter(), u"所有文件 (*)"_s);
    QCOMPARE(dialog.defaultSuffix(), QString());
    QTest::keyClick(types, Qt::Key_Up);
    QCOMPARE(dialog.defaultSuffix(), u"mp3"_s);

    // The qualities as file types: the name shown follows the type chosen.
    QFileDialog qualities(nullptr, QString(), u"歌手 - 歌名.mp3"_s);
    qualities.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList fileTypes{u"标准 MP3 128k (*.mp3)"_s, u"高品 MP3 320k (*.mp3)"_s, u"无损 FLAC (*.flac)"_s};
    corvane::desktop::setUpSaveDialog(qualities, fileTypes, 1);
    QCOMPARE(qualities.selectedNameFilter(), fileTypes.at(1));
    auto *qualityTypes = qualities.findChild<QComboBox *>(u"fileTypeCombo"_s);
    auto *name = qualities.findChild<QLineEdit *>(u"fileNameEdit"_s);
    QVERIFY(qualityTypes && name);
    QTest::keyClick(qualityTypes, Qt::Key_Down);
    QCOMPARE(qualities.defaultSuffix(), u"flac"_s);
    QCOMPARE(name->text(), u"歌手 - 歌名.flac"_s);
    QTest::keyClick(qualityTypes, Qt::Key_Up);
    QCOMPARE(name->text(), u"歌手 - 歌名.mp3"_s);
}

// A new folder's name typed into Qt's own folder dialog is made and chosen; a path whose
// parent is not there either is still refused.
void TestDownloader::folderDialogMakesATypedFolder()
{
    corvane::desktop::FolderDialog dialog(nullptr, QString(), m_dir->path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    corvane::desktop::setUpFolderDialog(dialog);
    auto *name = dialog.findChild<QLineEdit *>(u"fileNameEdit"_s);
    QVERIFY(name);
    name->setText(u"新歌单"_s);
    // Qt's refusal is a modal box: closed, so that a refusal fails the test, not hangs it.
    QTimer::singleShot(3000, &dialog, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(QFileInfo(m_dir->filePath(u"新歌单"_s)).isDir());
    QCOMPARE(dialog.selectedFiles(), QStringList{m_dir->filePath(u"新歌单"_s)});
}

QTEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
