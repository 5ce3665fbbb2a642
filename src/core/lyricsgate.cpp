#include "lyricsgate.h"

#include <coroutine>

#include <QScopeGuard>

#include "errors.h"
#include "httpfetch.h"

namespace corvane {

struct LyricsGate::Ticket
{
    std::coroutine_handle<> waiter;
    Outcome outcome = Outcome::Waiting;
    bool first = false;
};

// Suspends the frame that turn() runs in until its ticket is settled; the gate resumes it
// directly, so a stop has ended it by the time Requests::stop() returns.
struct LyricsGate::Wait
{
    Ticket &ticket;
    bool await_ready() const noexcept { return ticket.outcome != Outcome::Waiting; }
    void await_suspend(std::coroutine_handle<> waiter) noexcept { ticket.waiter = waiter; }
    Outcome await_resume() const noexcept { return ticket.outcome; }
};

LyricsGate::LyricsGate(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LyricsGate::release);
}

LyricsGate::~LyricsGate()
{
    while (!m_waiting.isEmpty())
        settle(m_waiting.first(), Outcome::Stopped);
}

void LyricsGate::refused()
{
    m_rest.setRemainingTime(kLyricRest);
    m_timer.stop();
    while (!m_waiting.isEmpty())
        settle(m_waiting.first(), Outcome::Resting);
}

void LyricsGate::settle(Ticket *ticket, Outcome outcome)
{
    if (!m_waiting.removeOne(ticket))
        return;
    ticket->outcome = outcome;
    if (ticket->waiter)
        ticket->waiter.resume();
}

void LyricsGate::ended()
{
    if (!m_inFlight)
        return;
    m_inFlight = false;
    m_next.setRemainingTime(m_pace);
    if (!m_waiting.isEmpty() && !m_timer.isActive())
        m_timer.start(int(m_next.remainingTime()) + 1);
}

void LyricsGate::release()
{
    if (m_waiting.isEmpty() || m_inFlight)
        return;
    if (!m_next.hasExpired()) {
        m_timer.start(int(m_next.remainingTime()) + 1);
        return;
    }
    m_inFlight = true;
    settle(m_waiting.first(), Outcome::Granted);
}

QCoro::Task<bool> LyricsGate::turn(Requests *owner, bool first)
{
    if (owner && owner->isStopped())
        throw FetchStopped();
    if (isResting())
        co_return false;
    if (m_waiting.isEmpty() && !m_inFlight && m_next.hasExpired()) {
        m_inFlight = true;
        co_return true;
    }
    Ticket ticket;
    ticket.first = first;
    // First requests go after the first ones already waiting, before the rest.
    qsizetype at = first ? 0 : m_waiting.size();
    while (first && at < m_waiting.size() && m_waiting.at(at)->first)
        ++at;
    m_waiting.insert(at, &ticket);
    QMetaObject::Connection stopped;
    if (owner)
        stopped = connect(owner, &Requests::stopped, this, [this, &ticket] { settle(&ticket, Outcome::Stopped); });
    // A frame destroyed while it waits leaves no ticket behind.
    const auto leave = qScopeGuard([&] {
        disconnect(stopped);
        m_waiting.removeOne(&ticket);
    });
    if (!m_timer.isActive() && !m_inFlight)
        m_timer.start(int(m_next.remainingTime()) + 1);
    switch (co_await Wait{ticket}) {
    case Outcome::Granted:
        co_return true;
    case Outcome::Resting:
        co_return false;
    case Outcome::Waiting:
    case Outcome::Stopped:
        break;
    }
    throw FetchStopped();
}

} // namespace corvane
