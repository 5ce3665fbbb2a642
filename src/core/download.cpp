#include "download.h"

#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "downloaderrors.h"
#include "filename.h"
#include "httpfetch.h"
#include "lyricsfile.h"

using namespace Qt::StringLiterals;

namespace corvane {

Download::Download(QUrl url, DownloadSong song, QObject *parent)
    : QObject(parent), m_url(std::move(url)), m_song(std::move(song))
{
}

Download::~Download()
{
    // The program is ending mid-download: the reply stops, and the unfinished file goes
    // with the QSaveFile that is never committed.
    if (m_reply && !hasEnded()) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
    }
    if (m_part.isOpen())
        m_part.remove();
}

void Download::start()
{
    if (m_reply)
        return;
    m_reply = networkAccessManager().get(QNetworkRequest(m_url));
    m_reply->setParent(this);
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Download::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &Download::drain);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (!hasEnded())
            emit progress(received, total > 0 ? total : -1);
    });
    connect(m_reply, &QNetworkReply::finished, this, &Download::onFinished);
}

QString Download::serverFileName() const
{
    if (!m_reply)
        return suggestedDownloadName(m_url.toString(), {});
    return suggestedDownloadName(m_reply->url().toString(),
                                 m_reply->rawHeader(QByteArrayLiteral("Content-Disposition")));
}

int Download::status() const
{
    return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

void Download::onMetaData()
{
    if (m_state != State::Connecting)
        return;
    if (status() >= 300 && status() < 400)
        return; // a redirect being followed
    if ((status() != 0 && (status() < 200 || status() >= 300)) ||
        (m_reply->isFinished() && m_reply->error() != QNetworkReply::NoError)) {
        fail(describeNetworkError(m_reply->error(), status()));
        return;
    }
    m_state = State::Answered;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_state == State::Answered)
                emit answered();
        },
        Qt::QueuedConnection);
}

void Download::saveTo(const QString &path)
{
    if (m_state != State::Answered)
        return;
    m_target = path;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly)) {
        fail(describeFileError(m_file.error(), path));
        return;
    }
    if (!m_song.tags.isEmpty()) {
        // The tag goes before the audio and depends on the file's own: the download
        // waits beside the target until it is whole, then goes into it with its tag.
        m_part.setFileTemplate(path + u".XXXXXX.part"_s);
        if (!m_part.open()) {
            fail(describeFileError(m_part.error(), path));
            return;
        }
        m_sink = &m_part;
    }
    m_state = State::Writing;
    drain();
    if (m_replyFinished)
        onFinished();
}

void Download::stop()
{
    if (!hasEnded())
        finish(State::Stopped, u"下载已取消"_s);
}

void Download::drain()
{
    if (m_state != State::Writing)
        return;
    while (m_reply->bytesAvailable() > 0) {
        const QByteArray chunk = m_reply->read(kReadBufferBytes);
        if (m_sink->write(chunk) != chunk.size()) {
            fail(describeFileError(m_sink->error(), m_target));
            return;
        }
    }
}

void Download::onFinished()
{
    m_replyFinished = true;
    if (m_state == State::Connecting)
        onMetaData(); // a reply with no headers of its own, or one that failed at once
    if (m_state != State::Writing)
        return;
    drain();
    if (m_state != State::Writing)
        return;
    if (m_reply->error() != QNetworkReply::NoError || (status() != 0 && (status() < 200 || status() >= 300))) {
        fail(describeNetworkError(m_reply->error(), status()));
        return;
    }
    if (m_sink == &m_part && !finishTagged())
        return;
    // Replaces an existing file in one step, and only now that the new one is whole.
    if (!m_file.commit()) {
        fail(describeFileError(m_file.error(), m_target));
        return;
    }
    if (!m_song.timedLyrics.isEmpty())
        writeLyricsBeside(m_target, m_song.timedLyrics);
    finish(State::Saved, QString());
}

bool Download::finishTagged()
{
    if (!m_part.flush() || !m_part.seek(0)) {
        fail(describeFileError(m_part.error(), m_target));
        return false;
    }
    if (copyWithTags(m_part, m_file, m_song.tags) == TagOutcome::Failed) {
        const bool writing = m_file.error() != QFileDevice::NoError;
        fail(describeFileError(writing ? m_file.error() : m_part.error(), m_target));
        return false;
    }
    m_part.remove();
    return true;
}

void Download::finish(State state, const QString &message)
{
    if (hasEnded())
        return;
    m_state = state;
    if (m_reply) {
        // Not from inside the reply's own signal, where this may run: aborting there, as
        // it reports an error status, makes it report a second one.
        m_reply->disconnect(this);
        abortFromEventLoop(m_reply);
    }
    if (state != State::Saved) {
        m_file.cancelWriting();
        if (m_file.isOpen())
            m_file.commit(); // after cancelWriting: closes and removes the unfinished file
        if (m_part.isOpen())
            m_part.remove();
    }
    QMetaObject::invokeMethod(
        this, [this, state, message] { emit ended(state, message); }, Qt::QueuedConnection);
}

} // namespace corvane
