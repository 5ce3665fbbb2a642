#pragma once

#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include "download.h"
#include "kuwoquality.h"
#include "serviceconfig.h"

namespace corvane {

// One song's file in the quality a user chose, or honestly less: the signed endpoint is
// asked for the chosen quality (or the best the song offers below it), each answer and
// then each file checked (its format by its first bytes, its length against what the
// quality promises), and on a refusal the next quality down is asked, each at most once;
// last comes the classic link conversion's 128k MP3. A 404 or 407 of the signed endpoint,
// or a request of it that fails, goes straight to the classic conversion. The file is
// fetched by a Download per try; a try that fails otherwise (the network, the disk) ends
// the song. Its signals come from the event loop, as a Download's do.
class QualityDownload final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QualityDownload)

public:
    struct Song
    {
        QString rid;
        Quality chosen = Quality::Mp3_320;
        QList<OfferedFile> offered; // empty: nothing says
        qint64 duration = 0;        // seconds; 0: unknown, the length is not checked
        // The classic conversion's link when it is known already; asked when needed.
        QString classicLink;
    };

    // Why a song failed.
    enum class Failure {
        None,
        Network, // a request or the transfer failed
        Slow,    // the transfer failed the speed floor
        File,    // the file could not be written
        Exists,  // keepExisting: a file of that name appeared
        Answer,  // nothing usable came back
        Region,  // the classic conversion refused ("IPDeny")
        Paid,    // the last file tried was far shorter than the song: a notice
    };
    Q_ENUM(Failure)

    QualityDownload(ServiceConfig config, Song song, DownloadSong tags = {}, QObject *parent = nullptr);
    // Stops what runs: nothing half-written stays.
    ~QualityDownload() override;

    void start();
    // Before a try is saved: what the file carries.
    void setSong(DownloadSong tags);
    // A file already at the target is left as it is (Failure::Exists), for this try and
    // the next ones.
    void setKeepExisting(bool keep);
    // Once answered: where this try's file goes (named for format()).
    void saveTo(const QString &path);
    // From the event loop: ends it, leaving nothing.
    void stop();

    // The quality of the try under way, or of the file saved.
    Quality quality() const { return m_quality; }
    // Whether it is the classic conversion's link.
    bool isClassic() const { return m_classic; }
    // The file's format for this try: what its name ends in.
    QString format() const { return qualityFormat(m_quality); }
    Download::State state() const { return m_state; }
    bool hasEnded() const { return m_state >= Download::State::Saved; }
    Failure failure() const { return m_failure; }
    // Once answered: the size the server gives this try's file.
    std::optional<qint64> size() const;
    // The file of this try, once chosen; once saved, the file saved.
    QString path() const;
    // The format of the file the first try asks for: where a file already in the folder
    // would be found. A song may end in a lower one.
    static QString firstFormat(Quality chosen, const QList<OfferedFile> &offered);

signals:
    // A try's file answers: saveTo() (for format()) or stop() is awaited. Once a try,
    // possibly several times.
    void answered();
    void progress(qint64 received, qint64 total);
    void ended(corvane::Download::State state, const QString &message);

private:
    QCoro::Task<> nextTry();
    void startTry(const QString &link, Quality quality, bool classic);
    void tryEnded(Download *download, Download::State state, const QString &message);
    void end(Download::State state, Failure failure, const QString &message);
    bool hasNextTry() const { return m_next < m_toAsk.size() || !m_classicTried; }

    ServiceConfig m_config;
    Song m_song;
    DownloadSong m_tags;
    QList<Quality> m_toAsk;
    qsizetype m_next = 0;
    bool m_classicTried = false;
    bool m_keepExisting = false;
    Requests *m_requests;
    QPointer<Download> m_download;
    Quality m_quality = Quality::Mp3_128;
    bool m_classic = false;
    Download::State m_state = Download::State::Connecting;
    Failure m_failure = Failure::None;
    // Why the last try was refused, should nothing come after it.
    Failure m_refusal = Failure::Answer;
    QString m_refusalMessage;
    QString m_savedPath;
};

} // namespace corvane
