#pragma once

#include <memory>

#include <QString>
#include <QVariantMap>

#include "core/kuwoquality.h"

class QSettings;

namespace corvane::desktop {

// The user's own choices, kept across runs in one small settings file: the quality the
// list windows ask for, the save dialog's last file type, the folder last saved into,
// whether list files are numbered, and the signed endpoint's `source` when the user has
// set one. Nothing else is kept.
class Settings final
{
    Q_DISABLE_COPY_MOVE(Settings)

public:
    // Kept nowhere: the choices last as long as this does (a window a test makes).
    Settings();
    // Kept in `file`, an INI file (a test's own).
    explicit Settings(const QString &file);
    // Kept where the platform keeps the application's settings (the registry on Windows,
    // ~/.config/Corvane/Corvane.conf on Linux).
    static std::unique_ptr<Settings> platform();
    ~Settings();

    // 高品 MP3 320k until the user chooses another.
    Quality listQuality() const;
    void setListQuality(Quality quality);
    // The save dialog's file type: 标准 MP3 128k (the link itself) until another is chosen.
    Quality saveQuality() const;
    void setSaveQuality(Quality quality);
    // The folder songs were last saved into, a song or a list; empty until then.
    QString lastFolder() const;
    void setLastFolder(const QString &folder);
    // Whether a list's file names start with the song's number (文件名加序号): off at first.
    bool numberedNames() const;
    void setNumberedNames(bool numbered);
    // The signed endpoint's `source` ("quality/source"), set by hand when the service has
    // retired the build's; empty: the build's.
    QString qualitySource() const;

private:
    explicit Settings(std::unique_ptr<QSettings> file);
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_file;
    QVariantMap m_memory;
};

} // namespace corvane::desktop
