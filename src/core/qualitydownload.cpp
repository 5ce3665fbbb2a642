#include "qualitydownload.h"

#include "errors.h"
#include "httpfetch.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

QualityDownload::QualityDownload(ServiceConfig config, Song song, DownloadSong tags, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_song(std::move(song)), m_tags(std::move(tags)),
      m_toAsk(qualitiesToAsk(m_song.chosen, m_song.offered)), m_requests(new Requests(this))
{
}

QualityDownload::~QualityDownload()
{
    // While every member stands: a link asked for ends here, its task without a word.
    m_requests->stop();
}

QString QualityDownload::firstFormat(Quality chosen, const QList<OfferedFile> &offered)
{
    return qualityFormat(qualitiesToAsk(chosen, offered).value(0, Quality::Mp3_128));
}

void QualityDownload::start()
{
    if (m_state == Download::State::Connecting && !m_download && m_next == 0 && !m_classicTried)
        nextTry();
}

void QualityDownload::setSong(DownloadSong tags)
{
    m_tags = std::move(tags);
    if (m_download)
        m_download->setSong(m_tags);
}

void QualityDownload::setKeepExisting(bool keep)
{
    m_keepExisting = keep;
    if (m_download)
        m_download->setKeepExisting(keep);
}

void QualityDownload::saveTo(const QString &path)
{
    if (m_download && !hasEnded())
        m_download->saveTo(path);
}

std::optional<qint64> QualityDownload::size() const
{
    return m_download ? m_download->size() : std::nullopt;
}

QString QualityDownload::path() const
{
    return m_download ? m_download->path() : m_savedPath;
}

void QualityDownload::stop()
{
    if (hasEnded())
        return;
    if (m_download) {
        m_download->disconnect(this);
        m_download->stop(); // its unfinished file goes at once
    }
    end(Download::State::Stopped, Failure::None, u"下载已取消"_s);
    // Resumes a link being asked for, which ends without a word.
    m_requests->stop();
}

QCoro::Task<> QualityDownload::nextTry()
{
    // Whatever is thrown ends the song here: nothing crosses the event loop.
    try {
        while (m_next < m_toAsk.size()) {
            const Quality quality = m_toAsk.at(m_next++);
            const QualityAnswer answer = co_await askQualityLink(m_song.rid, quality, m_config, m_requests);
            if (answer.kind == QualityAnswer::Kind::Link) {
                startTry(answer.link, quality, /*classic=*/false);
                co_return;
            }
            if (answer.kind == QualityAnswer::Kind::Unavailable)
                m_next = m_toAsk.size();
        }
        if (!m_classicTried) {
            m_classicTried = true;
            // Not a co_await inside ?: (GCC 12 destroys its temporaries too early there).
            QString link = m_song.classicLink;
            if (link.isEmpty())
                link = co_await askClassicLink(m_song.rid, m_config, m_requests);
            startTry(link, Quality::Mp3_128, /*classic=*/true);
            co_return;
        }
        end(Download::State::Failed, m_refusal, m_refusalMessage);
    } catch (const FetchStopped &) {
        // Stopped, or this is being deleted: ended already, nothing of it to touch.
    } catch (const LinkRefused &) {
        end(Download::State::Failed, Failure::Region, u"下载失败：地区受限"_s);
    } catch (const FetchError &error) {
        qInfo("quality download: %s: %s", qUtf8Printable(m_song.rid), error.what());
        end(Download::State::Failed, Failure::Network, u"下载失败：网络错误"_s);
    } catch (const std::exception &error) {
        qInfo("quality download: %s: %s", qUtf8Printable(m_song.rid), error.what());
        end(Download::State::Failed, Failure::Answer, u"下载失败：服务器答复有误"_s);
    } catch (...) {
        end(Download::State::Failed, Failure::Answer, u"下载失败：服务器答复有误"_s);
    }
}

void QualityDownload::startTry(const QString &link, Quality quality, bool classic)
{
    if (hasEnded())
        return;
    m_quality = quality;
    m_classic = classic;
    auto *download = new Download(acceptedHttpUrl(link), m_tags, this);
    m_download = download;
    download->setKeepExisting(m_keepExisting);
    download->setFormat(quality == Quality::Flac ? AudioFormat::Flac : AudioFormat::Mp3);
    qint64 offeredSize = 0;
    for (const OfferedFile &file : std::as_const(m_song.offered)) {
        if (file.quality == quality)
            offeredSize = file.size;
    }
    download->setLeastBytes(leastSongBytes(quality, m_song.duration, offeredSize).value_or(0));
    connect(download, &Download::answered, this, &QualityDownload::answered);
    connect(download, &Download::progress, this, &QualityDownload::progress);
    connect(download, &Download::ended, this, [this, download](Download::State state, const QString &message) {
        tryEnded(download, state, message);
    });
    download->start();
}

void QualityDownload::tryEnded(Download *download, Download::State state, const QString &message)
{
    if (download != m_download || hasEnded())
        return;
    download->deleteLater();
    if (state == Download::State::Saved) {
        m_savedPath = download->path();
        end(state, Failure::None, QString());
        return;
    }
    const Download::Failure failure = download->failure();
    // Not the file of the quality asked: a refusal of that quality, and the next one down
    // is tried.
    if (failure == Download::Failure::NotAudio || failure == Download::Failure::Short) {
        m_refusal = failure == Download::Failure::Short ? Failure::Paid : Failure::Answer;
        m_refusalMessage = message;
        if (hasNextTry()) {
            qInfo("quality download: %s: %s refused: %s", qUtf8Printable(m_song.rid),
                  qUtf8Printable(qualityShortName(m_quality)), qUtf8Printable(message));
            m_download = nullptr;
            emit progress(0, -1); // the next try starts from nothing
            nextTry();
            return;
        }
        end(Download::State::Failed, m_refusal, message);
        return;
    }
    switch (failure) {
    case Download::Failure::Exists:
        end(state, Failure::Exists, message);
        return;
    case Download::Failure::File:
        end(state, Failure::File, message);
        return;
    case Download::Failure::Slow:
        end(state, Failure::Slow, message);
        return;
    case Download::Failure::Refused:
        end(state, Failure::Answer, message);
        return;
    default:
        end(state, state == Download::State::Stopped ? Failure::None : Failure::Network, message);
        return;
    }
}

void QualityDownload::end(Download::State state, Failure failure, const QString &message)
{
    if (hasEnded())
        return;
    m_state = state;
    m_failure = failure;
    QMetaObject::invokeMethod(
        this, [this, state, message] { emit ended(state, message); }, Qt::QueuedConnection);
}

} // namespace corvane
