#include "settings.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace corvane::desktop {

namespace {

// Kept by the endpoint's name for it ("320kmp3"), which no rewording of a caption changes.
Quality qualityFrom(const QVariant &value, Quality fallback)
{
    for (const Quality quality : kQualities) {
        if (value.toString() == qualityBr(quality))
            return quality;
    }
    return fallback;
}

} // namespace

Settings::Settings() = default;

Settings::Settings(const QString &file) : Settings(std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

Settings::Settings(std::unique_ptr<QSettings> file) : m_file(std::move(file)) {}

Settings::~Settings() = default;

std::unique_ptr<Settings> Settings::platform()
{
    return std::unique_ptr<Settings>(new Settings(std::make_unique<QSettings>(u"Corvane"_s, u"Corvane"_s)));
}

QVariant Settings::value(const QString &key) const
{
    return m_file ? m_file->value(key) : m_memory.value(key);
}

void Settings::setValue(const QString &key, const QVariant &value)
{
    if (m_file)
        m_file->setValue(key, value);
    else
        m_memory.insert(key, value);
}

Quality Settings::listQuality() const
{
    return qualityFrom(value(u"list/quality"_s), Quality::Mp3_320);
}

void Settings::setListQuality(Quality quality)
{
    setValue(u"list/quality"_s, qualityBr(quality));
}

Quality Settings::saveQuality() const
{
    return qualityFrom(value(u"download/quality"_s), Quality::Mp3_128);
}

void Settings::setSaveQuality(Quality quality)
{
    setValue(u"download/quality"_s, qualityBr(quality));
}

QString Settings::lastFolder() const
{
    return value(u"download/folder"_s).toString();
}

void Settings::setLastFolder(const QString &folder)
{
    setValue(u"download/folder"_s, folder);
}

bool Settings::numberedNames() const
{
    return value(u"list/numbered"_s).toBool();
}

void Settings::setNumberedNames(bool numbered)
{
    setValue(u"list/numbered"_s, numbered);
}

QString Settings::qualitySource() const
{
    return value(u"quality/source"_s).toString().trimmed();
}

} // namespace corvane::desktop
