#include "mediaplayer.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include "elidinglabel.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {
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
            p.drawPolygon(QPolygonF{QPointF(2, 6), QPointF(5, 6), QPointF(9, 2.5), QPointF(9, 13.5),
                                    QPointF(5, 10), QPointF(2, 10)});
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
    // Minutes past the hour too ("198:00"): the label has room for three digits of them.
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

// A slider that jumps to the point clicked, as media players' tracks do, instead of
// stepping a page towards it.
class TrackSlider final : public QSlider
{
public:
    explicit TrackSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent) {}

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            const QRect handle =
                style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
            if (!handle.contains(event->position().toPoint())) {
                const QRect groove =
                    style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
                const int span = qMax(1, groove.width() - handle.width());
                const int at = int(event->position().x()) - groove.x() - handle.width() / 2;
                const int value =
                    QStyle::sliderValueFromPosition(minimum(), maximum(), at, span, option.upsideDown);
                setValue(value);
                emit sliderMoved(value);
            }
        }
        QSlider::mousePressEvent(event);
    }
};

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
      m_name(new ElidingLabel(Qt::ElideMiddle, this)), m_seek(new TrackSlider(this)),
      m_time(new ElidingLabel(Qt::ElideRight, this)),
      m_mute(new QToolButton(this)), m_volume(new TrackSlider(this))
{
    m_play->setObjectName(u"play"_s);
    m_play->setIcon(glyph(Glyph::Play, palette().color(QPalette::ButtonText)));
    m_play->setAccessibleName(u"播放"_s);
    m_play->setToolTip(u"播放/暂停"_s);
    m_stop->setObjectName(u"stop"_s);
    m_stop->setIcon(glyph(Glyph::Stop, palette().color(QPalette::ButtonText)));
    m_stop->setAccessibleName(u"停止"_s);
    m_stop->setToolTip(u"停止"_s);
    m_name->setObjectName(u"title"_s);
    // The title takes the room it needs; the track, the rest.
    m_name->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setTitleText(QString());
    m_seek->setObjectName(u"seek"_s);
    m_seek->setAccessibleName(u"播放进度"_s);
    m_seek->setEnabled(false);
    m_time->setObjectName(u"time"_s);
    m_time->setAccessibleName(u"播放时间"_s);
    // As wide as the clock of a song of hours, whatever it says: a long state or error is
    // shortened to it rather than pushing the track aside (the whole text is its tooltip).
    m_time->setFixedWidth(m_time->fontMetrics().horizontalAdvance(u"000:00 / 000:00"_s) + 4);
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
    m_seek->setMinimumWidth(64);
    bar->addWidget(m_name);
    bar->addWidget(m_seek, 1);
    bar->addWidget(m_time);
    bar->addWidget(m_mute);
    bar->addWidget(m_volume);

    connect(m_play, &QToolButton::clicked, this, &MediaPlayer::togglePlay);
    connect(m_stop, &QToolButton::clicked, this, &MediaPlayer::stop);
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
        m_seek->setEnabled(duration > 0 && m_player && m_player->isSeekable());
        updateTime();
    });
    connect(m_player, &QMediaPlayer::seekableChanged, this,
            [this](bool seekable) { m_seek->setEnabled(seekable && m_player && m_player->duration() > 0); });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (!m_seek->isSliderDown())
            m_seek->setValue(int(qMin<qint64>(position, INT_MAX)));
        updateTime();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MediaPlayer::updateState);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::InvalidMedia && m_error.isEmpty())
            m_error = describeError(QMediaPlayer::FormatError);
        updateState();
    });
    // An engine that has failed is not trusted again: it can stay in a state where play
    // reports playing and plays nothing, and each call blocks. The next press starts a
    // new one.
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        m_error = describeError(error);
        discardPlayer();
        updateState();
    });
}

void MediaPlayer::discardPlayer()
{
    if (!m_player)
        return;
    m_player->disconnect(this);
    // Later: this may run inside one of the engine's own signals.
    m_player->deleteLater();
    m_output->deleteLater();
    m_player = nullptr;
    m_output = nullptr;
    m_seek->setEnabled(false);
    m_seek->setValue(0);
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

void MediaPlayer::startAfresh()
{
    m_error.clear();
    m_seek->setValue(0);
    ensurePlayer();
    m_player->stop();
    // Setting the address it already holds would change nothing: clear it first, so
    // that the source is opened anew.
    m_player->setSource(QUrl());
    m_player->setSource(QUrl(m_url));
}

void MediaPlayer::setURL(const QString &url)
{
    m_url = url;
    m_title.clear();
    setTitleText(title());
    if (url.isEmpty()) {
        m_error.clear();
        if (m_player) {
            m_player->stop();
            m_player->setSource(QUrl());
        }
    } else {
        startAfresh();
        if (m_settings.autoStart() && m_player)
            m_player->play();
    }
    updateState();
}

void MediaPlayer::setTitle(const QString &title)
{
    m_title = title;
    setTitleText(this->title());
    updateState();
}

QString MediaPlayer::title() const
{
    if (!m_title.isEmpty())
        return m_title;
    return QUrl(m_url).fileName();
}

QString MediaPlayer::describeError(QMediaPlayer::Error error)
{
    switch (error) {
    case QMediaPlayer::NoError:
        return {};
    case QMediaPlayer::ResourceError:
        return u"无法播放：无法读取音频"_s;
    case QMediaPlayer::FormatError:
        return u"无法播放：不支持的格式"_s;
    case QMediaPlayer::NetworkError:
        return u"无法播放：网络错误"_s;
    case QMediaPlayer::AccessDeniedError:
        return u"无法播放：没有访问权限"_s;
    }
    return u"无法播放"_s;
}

void MediaPlayer::setTitleText(const QString &text)
{
    static_cast<ElidingLabel *>(m_name)->setFullText(text);
    m_name->setAccessibleName(text.isEmpty() ? u"播放内容"_s : text);
}

void MediaPlayer::clearError()
{
    if (m_error.isEmpty())
        return;
    m_error.clear();
    updateState();
}

QString MediaPlayer::stateText() const
{
    if (!m_error.isEmpty())
        return m_error;
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
        return describeError(QMediaPlayer::FormatError);
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
    if (m_url.isEmpty())
        return;
    if (!m_player || !m_error.isEmpty() || m_player->mediaStatus() == QMediaPlayer::InvalidMedia) {
        startAfresh();
        m_player->play();
    } else if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    } else {
        m_player->play();
    }
    updateState();
}

void MediaPlayer::stop()
{
    m_error.clear();
    if (m_player)
        m_player->stop();
    m_seek->setValue(0);
    updateState();
}

void MediaPlayer::updateTime()
{
    const qint64 duration = m_player ? m_player->duration() : 0;
    if (!m_error.isEmpty() || !m_player || m_player->source().isEmpty() || duration <= 0) {
        static_cast<ElidingLabel *>(m_time)->setFullText(stateText());
        return;
    }
    static_cast<ElidingLabel *>(m_time)->setFullText(clock(m_player->position()) + u" / "_s + clock(duration));
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
    m_play->setEnabled(!m_url.isEmpty());
    m_stop->setEnabled(state != QMediaPlayer::StoppedState || !m_error.isEmpty());
    setToolTip(plainToolTip(title().isEmpty() ? stateText() : title() + u"："_s + stateText()));
    updateTime();
}

} // namespace corvane::widgets
