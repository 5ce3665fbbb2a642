#pragma once

#include <chrono>

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <QCoroTask>

namespace corvane {

class Requests;

// Lyric requests go through at most one this often.
inline constexpr std::chrono::milliseconds kLyricPace{2000};
// After the lyrics endpoint refuses, nothing is asked of it for this long: the service
// refuses for minutes, so a call then would only be refused.
inline constexpr std::chrono::milliseconds kLyricRest{180000};

// The lyrics endpoint refuses an address that calls it too often ("a dozen quick calls,
// then minutes"): the limit is the address's, so the program keeps one pace for all its
// lyric requests, the main window's and every list's. One gate, owned by whoever makes
// the resolutions and handed to each (ServiceConfig::lyricsGate).
class LyricsGate final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LyricsGate)

public:
    explicit LyricsGate(QObject *parent = nullptr);
    // Every waiter resumes with FetchStopped.
    ~LyricsGate() override;

    // The least time between two lyric requests (kLyricPace unless a test changes it).
    void setPace(std::chrono::milliseconds pace) { m_pace = pace; }
    std::chrono::milliseconds pace() const { return m_pace; }
    // The service refused: nothing is let through for kLyricRest, and whoever waits is
    // told to go on without lyrics.
    void refused();
    bool isResting() const { return !m_rest.hasExpired(); }

    // Awaits the turn of one lyric request: true to send it now, false to go on without
    // lyrics (the service is resting everyone). A `first` request goes before every one
    // that waits, so the song a user asked for waits at most one pace step however many
    // lists download. Throws FetchStopped when `owner` is stopped before the turn.
    // Whoever is let through calls ended() when its request is over, however it ended.
    QCoro::Task<bool> turn(Requests *owner, bool first = false);
    // The request let through is over: the next goes a pace from now. Counting from the
    // end, not the start, keeps the requests the pace apart where the service sees them
    // however late one reaches it, and a refusal is known before anyone else is let through.
    void ended();

private:
    enum class Outcome { Waiting, Granted, Resting, Stopped };
    // One waiting request, in the frame of its turn().
    struct Ticket;
    struct Wait;
    // Lets the next waiter through when its time has come, else sets the timer for it.
    void release();
    void settle(Ticket *ticket, Outcome outcome);

    std::chrono::milliseconds m_pace = kLyricPace;
    QDeadlineTimer m_next{0};
    QDeadlineTimer m_rest{0};
    QList<Ticket *> m_waiting;
    bool m_inFlight = false;
    QTimer m_timer;
};

} // namespace corvane
