#pragma once

#include <QMediaPlayer>
#include <QUrl>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QSlider;
class QToolButton;

namespace corvane::widgets {

class MediaPlayer;

// The player's stored settings, reached through MediaPlayer::settings().
class PlayerSettings final
{
public:
    explicit PlayerSettings(MediaPlayer *player) : m_player(player) {}

    int volume() const;
    // 0 to 100; values outside are clamped.
    void setVolume(int volume);
    bool mute() const;
    void setMute(bool mute);
    bool autoStart() const { return m_autoStart; }
    void setAutoStart(bool autoStart) { m_autoStart = autoStart; }
    // Errors never open a dialog: they show in the bar.
    bool enableErrorDialogs() const { return false; }

private:
    MediaPlayer *m_player;
    bool m_autoStart = true;
};

// The embedded player: a transport bar (play/pause, stop, the title of what it holds,
// seek, elapsed and total time, mute, volume). It never shows a dialog; its state and its
// errors show in the bar, and after an error the next play starts the source afresh.
class MediaPlayer final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaPlayer)

public:
    explicit MediaPlayer(QWidget *parent = nullptr);
    ~MediaPlayer() override;

    PlayerSettings &settings() { return m_settings; }
    QString URL() const { return m_url; }
    // Loads the address, and plays it at once when autoStart is on. An empty or
    // unplayable address plays nothing.
    void setURL(const QString &url);
    // What the bar names the media by; empty: the address's file name.
    void setTitle(const QString &title);
    QString title() const;

    // The media engine starts on first use, so that an idle window does not load it.
    QMediaPlayer *mediaPlayer();
    QAudioOutput *audioOutput();
    // What the bar says about the media: "无媒体", "正在缓冲", "无法播放：…"...
    QString stateText() const;
    // The error, in words, that stopped the last attempt to play; empty after a success.
    QString errorText() const { return m_error; }
    // Forgets the last error (a new song is shown): the bar says what it holds again.
    void clearError();

    // The bar's buttons, as a click runs them.
    void togglePlay();
    void stop();

    static QString describeError(QMediaPlayer::Error error);

private:
    friend class PlayerSettings;
    void ensurePlayer();
    void discardPlayer();
    void startAfresh();
    void updateTime();
    void updateState();
    void setTitleText(const QString &text);

    PlayerSettings m_settings{this};
    QString m_url;
    QString m_title;
    QString m_error;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QToolButton *m_play;
    QToolButton *m_stop;
    QLabel *m_name;
    QSlider *m_seek;
    QLabel *m_time;
    QToolButton *m_mute;
    QSlider *m_volume;
    bool m_showsPause = false;
};

} // namespace corvane::widgets
