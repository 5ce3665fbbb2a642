#pragma once

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

namespace corvane::testing {

// A short MP3 without a tag, from the fake service's resources: what a download tags.
inline QByteArray tone()
{
    QFile file(QStringLiteral(":/media/tone-440.mp3"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An MP3's ID3v2 tag as TagLib reads it back.
struct ReadTag
{
    int version = 0;             // 0: no ID3v2 tag
    qint64 tagSize = 0;          // header, frames, padding and footer
    QMap<QString, QString> text; // frame id → text; USLT: its language, "|", the text
    QString coverType;           // APIC: mime type, a blank, picture type
    QByteArray cover;
    bool ownTextInUtf16 = true; // every text frame but those starting "Served" in UTF-16
};

inline QString fromTagText(const TagLib::String &text)
{
    return QString::fromStdString(text.to8Bit(true));
}

// A path as TagLib opens it: wide on Windows, whatever the code page.
struct TagFileName
{
    explicit TagFileName(const QString &path) : wide(path), local(QFile::encodeName(path)) {}
    operator TagLib::FileName() const
    {
#ifdef Q_OS_WIN
        return reinterpret_cast<const wchar_t *>(wide.utf16());
#else
        return local.constData();
#endif
    }
    QString wide;
    QByteArray local;
};

inline ReadTag readTag(const QString &path)
{
    TagLib::MPEG::File mp3{TagFileName(path)};
    ReadTag result;
    if (!mp3.isValid() || !mp3.hasID3v2Tag())
        return result;
    const TagLib::ID3v2::Tag *tag = mp3.ID3v2Tag();
    result.version = int(tag->header()->majorVersion());
    result.tagSize = tag->header()->completeTagSize();
    for (const TagLib::ID3v2::Frame *frame : tag->frameList()) {
        const QString id = QString::fromLatin1(frame->frameID().data(), int(frame->frameID().size()));
        if (const auto *lyrics = dynamic_cast<const TagLib::ID3v2::UnsynchronizedLyricsFrame *>(frame)) {
            result.text[id] =
                QString::fromLatin1(lyrics->language().data(), 3) + u'|' + fromTagText(lyrics->text());
            result.ownTextInUtf16 = result.ownTextInUtf16 && lyrics->textEncoding() == TagLib::String::UTF16;
        } else if (const auto *picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame)) {
            result.coverType = fromTagText(picture->mimeType()) + u' ' + QString::number(picture->type());
            result.cover = QByteArray(picture->picture().data(), int(picture->picture().size()));
        } else if (const auto *text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(frame)) {
            result.text[id] = fromTagText(text->toString());
            if (!result.text[id].startsWith(QStringLiteral("Served")))
                result.ownTextInUtf16 =
                    result.ownTextInUtf16 && text->textEncoding() == TagLib::String::UTF16;
        }
    }
    return result;
}

// A FLAC file as TagLib reads it back, and its audio frames.
struct ReadFlac
{
    bool valid = false;
    QMap<QString, QString> comments; // Vorbis comment field → its first value
    QString coverType;               // mime type, picture type, width×height×depth
    QByteArray cover;
    int pictures = 0;
    QByteArray audio; // everything after the metadata blocks
};

// The bytes after a FLAC stream's metadata blocks; empty when it is not one.
inline QByteArray flacAudio(const QByteArray &file)
{
    if (!file.startsWith("fLaC"))
        return {};
    qsizetype at = 4;
    while (at + 4 <= file.size()) {
        const bool last = (quint8(file[at]) & 0x80) != 0;
        at += 4 + ((qsizetype(quint8(file[at + 1])) << 16) | (qsizetype(quint8(file[at + 2])) << 8) |
                   quint8(file[at + 3]));
        if (last)
            return file.mid(at);
    }
    return {};
}

inline ReadFlac readFlac(const QString &path)
{
    ReadFlac result;
    {
        TagLib::FLAC::File flac{TagFileName(path)};
        if (!flac.isValid() || !flac.audioProperties())
            return result;
        result.valid = true;
        if (const TagLib::Ogg::XiphComment *comment = flac.xiphComment()) {
            for (const auto &[key, values] : comment->fieldListMap()) {
                if (!values.isEmpty())
                    result.comments[fromTagText(key)] = fromTagText(values.front());
            }
        }
        const TagLib::List<TagLib::FLAC::Picture *> pictures = flac.pictureList();
        result.pictures = int(pictures.size());
        if (!pictures.isEmpty()) {
            const TagLib::FLAC::Picture *picture = pictures.front();
            result.coverType = QStringLiteral("%1 %2 %3x%4x%5")
                                   .arg(fromTagText(picture->mimeType()))
                                   .arg(int(picture->type()))
                                   .arg(picture->width())
                                   .arg(picture->height())
                                   .arg(picture->colorDepth());
            result.cover = QByteArray(picture->data().data(), int(picture->data().size()));
        }
    }
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        result.audio = flacAudio(file.readAll());
    return result;
}

} // namespace corvane::testing
