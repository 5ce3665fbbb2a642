#include "mediaplayer.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QSlider>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace corvane::platform {
namespace {

constexpr int kInitialVolume = 50;

enum class Glyph { Play, Pause, Stop, Volume, Muted };

// The transport glyphs, drawn: the style's media icons look them up in the icon theme
// on disk, which costs more at start than the whole bar.
QIcon glyph(Glyph which, const QColor &colour)
{
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        switch (which) {
        case Glyph::Play:
            p.drawPolygon(QPolygonF{QPointF(4, 2.5), QPointF(13, 8), QPointF(4, 13.5)});
            break;
        case Glyph::Pause:
            p.drawRect(QRectF(4, 3, 3, 10));
            p.drawRect(QRectF(9, 3, 3, 10));
            break;
        case Glyph::Stop:
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
            break;
        case Glyph::Volume:
        case Glyph::Muted:
            p.drawPolygon(QPolygonF{QPointF(2, 6), QPointF(5, 6), QPointF(9, 2.5), QPointF(9, 13.5), QPointF(5, 10),
                                    QPointF(2, 10)});
            p.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            if (which == Glyph::Volume) {
                p.drawArc(QRectF(7, 5, 5, 6), -60 * 16, 120 * 16);
                p.drawArc(QRectF(7, 3, 8, 10), -60 * 16, 120 * 16);
            } else {
                p.drawLine(QPointF(11, 6), QPointF(15, 10));
                p.drawLine(QPointF(15, 6), QPointF(11, 10));
            }
            break;
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString clock(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    return s >= 3600 ? u"%1:%2:%3"_s.arg(s / 3600)
                           .arg(s / 60 % 60, 2, 10, QChar(u'0'))
                           .arg(s % 60, 2, 10, QChar(u'0'))
                     : u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

} // namespace

int PlayerSettings::volume() const
{
    return m_player->m_volume->value();
}

void PlayerSettings::setVolume(int volume)
{
    m_player->m_volume->setValue(qBound(0, volume, 100));
}

bool PlayerSettings::mute() const
{
    return m_player->m_mute->isChecked();
}

void PlayerSettings::setMute(bool mute)
{
    m_player->m_mute->setChecked(mute);
}

MediaPlayer::MediaPlayer(QWidget *parent)
    : QWidget(parent), m_play(new QToolButton(this)), m_stop(new QToolButton(this)),
      m_seek(new QSlider(Qt::Horizontal, this)), m_time(new QLabel(this)), m_mute(new QToolButton(this)),
      m_volume(new QSlider(Qt::Horizontal, this))
{
    m_play->setObjectName(u"play"_s);
    m_play->setIcon(glyph(Glyph::Play, palette().color(QPalette::ButtonText)));
    m_play->setAccessibleName(u"播放"_s);
    m_play->setToolTip(u"播放/暂停"_s);
    m_stop->setObjectName(u"stop"_s);
    m_stop->setIcon(glyph(Glyph::Stop, palette().color(QPalette::ButtonText)));
    m_stop->setAccessibleName(u"停止"_s);
    m_stop->setToolTip(u"停止"_s);
    m_seek->setObjectName(u"seek"_s);
    m_seek->setAccessibleName(u"播放进度"_s);
    m_seek->setEnabled(false);
    m_time->setObjectName(u"time"_s);
    m_time->setAccessibleName(u"播放时间"_s);
    m_time->setMinimumWidth(m_time->fontMetrics().horizontalAdvance(u"00:00 / 00:00"_s) + 4);
    m_time->setAlignment(Qt::AlignCenter);
    m_mute->setObjectName(u"mute"_s);
    m_mute->setCheckable(true);
    m_mute->setIcon(glyph(Glyph::Volume, palette().color(QPalette::ButtonText)));
    m_mute->setAccessibleName(u"静音"_s);
    m_mute->setToolTip(u"静音"_s);
    m_volume->setObjectName(u"volume"_s);
    m_volume->setAccessibleName(u"音量"_s);
    m_volume->setRange(0, 100);
    m_volume->setFixedWidth(64);
    m_volume->setValue(kInitialVolume);

    auto *bar = new QHBoxLayout(this);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(4);
    bar->addWidget(m_play);
    bar->addWidget(m_stop);
    bar->addWidget(m_seek, 1);
    bar->addWidget(m_time);
    bar->addWidget(m_mute);
    bar->addWidget(m_volume);

    connect(m_play, &QToolButton::clicked, this, &MediaPlayer::togglePlay);
    connect(m_stop, &QToolButton::clicked, this, [this] {
        if (m_player)
            m_player->stop();
    });
    connect(m_seek, &QSlider::sliderMoved, this, [this](int value) {
        if (m_player)
            m_player->setPosition(value);
    });
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) {
        if (m_output)
            m_output->setVolume(value / 100.0f);
    });
    connect(m_mute, &QToolButton::toggled, this, [this](bool muted) {
        m_mute->setIcon(glyph(muted ? Glyph::Muted : Glyph::Volume, palette().color(QPalette::ButtonText)));
        if (m_output)
            m_output->setMuted(muted);
    });
    updateState();
}

MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::ensurePlayer()
{
    if (m_player)
        return;
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(this);
    m_output->setVolume(m_volume->value() / 100.0f);
    m_output->setMuted(m_mute->isChecked());
    m_player->setAudioOutput(m_output);

    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 duration) {
        m_seek->setRange(0, int(qMin<qint64>(duration, INT_MAX)));
        m_seek->setEnabled(duration > 0 && m_player->isSeekable());
        updateTime();
    });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (!m_seek->isSliderDown())
            m_seek->setValue(int(qMin<qint64>(position, INT_MAX)));
        updateTime();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MediaPlayer::updateState);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &MediaPlayer::updateState);
    // Errors show in the bar; the player never opens a dialog of its own.
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
        m_failed = true;
        updateState();
    });
}

QMediaPlayer *MediaPlayer::mediaPlayer()
{
    ensurePlayer();
    return m_player;
}

QAudioOutput *MediaPlayer::audioOutput()
{
    ensurePlayer();
    return m_output;
}

void MediaPlayer::setURL(const QString &url)
{
    m_url = url;
    m_failed = false;
    m_seek->setValue(0);
    if (url.isEmpty()) {
        if (m_player) {
            m_player->stop();
            m_player->setSource(QUrl());
        }
    } else {
        ensurePlayer();
        m_player->stop();
        m_player->setSource(QUrl(url));
        if (m_settings.autoStart())
            m_player->play();
    }
    updateState();
}

QString MediaPlayer::stateText() const
{
    if (m_failed)
        return u"无法播放"_s;
    if (!m_player)
        return u"无媒体"_s;
    switch (m_player->mediaStatus()) {
    case QMediaPlayer::NoMedia:
        return u"无媒体"_s;
    case QMediaPlayer::LoadingMedia:
    case QMediaPlayer::StalledMedia:
    case QMediaPlayer::BufferingMedia:
        return u"正在缓冲"_s;
    case QMediaPlayer::InvalidMedia:
        return u"无法播放"_s;
    case QMediaPlayer::EndOfMedia:
        return u"播放结束"_s;
    default:
        break;
    }
    switch (m_player->playbackState()) {
    case QMediaPlayer::PlayingState:
        return u"正在播放"_s;
    case QMediaPlayer::PausedState:
        return u"已暂停"_s;
    default:
        return u"已停止"_s;
    }
}

void MediaPlayer::togglePlay()
{
    if (!m_player)
        return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    } else if (!m_player->source().isEmpty()) {
        m_failed = false;
        m_player->play();
    }
}

void MediaPlayer::updateTime()
{
    const qint64 duration = m_player ? m_player->duration() : 0;
    if (m_failed || !m_player || m_player->source().isEmpty() || duration <= 0) {
        m_time->setText(stateText());
        return;
    }
    m_time->setText(clock(m_player->position()) + u" / "_s + clock(duration));
}

void MediaPlayer::updateState()
{
    const QMediaPlayer::PlaybackState state =
        m_player ? m_player->playbackState() : QMediaPlayer::StoppedState;
    const bool playing = state == QMediaPlayer::PlayingState;
    if (playing != m_showsPause) {
        m_showsPause = playing;
        m_play->setIcon(glyph(playing ? Glyph::Pause : Glyph::Play, palette().color(QPalette::ButtonText)));
    }
    m_play->setEnabled(m_player && !m_player->source().isEmpty());
    m_stop->setEnabled(state != QMediaPlayer::StoppedState);
    setToolTip(stateText());
    updateTime();
}

} // namespace corvane::platform
