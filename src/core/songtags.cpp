#include "songtags.h"

#include <optional>

#include <QIODevice>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/unsynchronizedlyricsframe.h>

namespace corvane {
namespace {

constexpr qint64 kCopyChunkBytes = 1024 * 1024;
// A tag header may claim up to 256 MB, and TagLib reads what it claims: a read larger
// than this makes the tag unreadable instead.
constexpr unsigned long kMaxReadBytes = 64ul * 1024 * 1024;
// TagLib counts in long, 32 bits on Windows; no song comes near this size.
constexpr qint64 kMaxTaggedBytes = qint64(1) << 30;
// Enough audio after a tag for TagLib to find the first frames and their bitrate.
constexpr qint64 kTagProbeBytes = 64 * 1024;
// A tag of a download is held in memory while the new one is planned: a larger one (a
// big picture of its own) leaves the download untagged.
constexpr qint64 kMaxHeldTagBytes = 16 * 1024 * 1024;

// The download, as TagLib reads files: read-only, over the device the download was
// written to.
class DeviceStream final : public TagLib::IOStream
{
public:
    explicit DeviceStream(QIODevice &device) : m_device(device) {}

    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override
    {
        if (length > kMaxReadBytes)
            return {};
        const QByteArray bytes = m_device.read(qint64(length));
        return TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size()));
    }
    void writeBlock(const TagLib::ByteVector &) override {}
    void insert(const TagLib::ByteVector &, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return m_device.isOpen(); }
    void seek(long offset, Position from) override
    {
        const qint64 base = from == Beginning ? 0 : from == Current ? m_device.pos() : m_device.size();
        m_device.seek(qBound<qint64>(0, base + offset, m_device.size()));
    }
    long tell() const override { return long(m_device.pos()); }
    long length() override { return long(m_device.size()); }
    void truncate(long) override {}

private:
    QIODevice &m_device;
};

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

TagLib::String coverType(const QByteArray &picture)
{
    if (picture.startsWith("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (picture.startsWith("\x89PNG\r\n\x1A\n"))
        return "image/png";
    return {};
}

} // namespace

qint64 tagHeadBytes(QByteArrayView head)
{
    if (head.size() < 10)
        return -1;
    if (!head.startsWith("ID3"))
        return kTagProbeBytes;
    // The size is syncsafe: seven bits a byte.
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (quint8(head[i]) & 0x7f);
    const bool footer = (quint8(head[5]) & 0x10) != 0;
    const qint64 tagSize = 10 + size + (footer ? 10 : 0);
    return tagSize > kMaxHeldTagBytes ? 0 : tagSize + kTagProbeBytes;
}

std::optional<TagPlan> planTag(QIODevice &downloaded, const SongTags &tags)
{
    DeviceStream stream(downloaded);
    if (!TagLib::MPEG::File::isSupported(&stream))
        return {};
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), /*readProperties=*/true);
    if (!file.isValid() || !file.audioProperties() || file.audioProperties()->bitrate() <= 0)
        return {};
    // A tag after other bytes would have to be cut out of the middle: left as it is.
    const bool hadTag = file.hasID3v2Tag();
    if (hadTag && (!downloaded.seek(0) || downloaded.peek(3) != "ID3"))
        return {};
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag(/*create=*/true);
    const auto has = [tag](const char *id) {
        const auto &frames = tag->frameListMap();
        return frames.contains(id) && !frames[id].isEmpty();
    };

    bool added = false;
    const auto addText = [&](const char *id, const QString &text) {
        if (text.isEmpty() || has(id))
            return;
        auto *frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF16);
        frame->setText(tagText(text));
        tag->addFrame(frame);
        added = true;
    };
    addText("TIT2", tags.title);
    addText("TPE1", tags.artist);
    addText("TALB", tags.album);
    if (!tags.lyrics.isEmpty() && !has("USLT")) {
        auto *frame = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF16);
        frame->setLanguage("chi");
        frame->setText(tagText(tags.lyrics));
        tag->addFrame(frame);
        added = true;
    }
    const TagLib::String mimeType = coverType(tags.cover);
    if (!mimeType.isEmpty() && tags.cover.size() <= kMaxCoverBytes && !has("APIC")) {
        auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setMimeType(mimeType);
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setPicture(
            TagLib::ByteVector(tags.cover.constData(), static_cast<unsigned int>(tags.cover.size())));
        tag->addFrame(frame);
        added = true;
    }
    if (!added)
        return {};

    // Read before rendering, which rewrites the header.
    const qint64 audioStart = hadTag ? qint64(tag->header()->completeTagSize()) : 0;
    const auto version = hadTag && tag->header()->majorVersion() == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
    const TagLib::ByteVector rendered = tag->render(version);
    return TagPlan{QByteArray(rendered.data(), qsizetype(rendered.size())), audioStart};
}

TagOutcome copyWithTags(QIODevice &downloaded, QIODevice &out, const SongTags &tags)
{
    const bool taggable = !tags.isEmpty() && downloaded.size() <= kMaxTaggedBytes;
    const std::optional<TagPlan> plan = taggable ? planTag(downloaded, tags) : std::nullopt;
    if (plan && out.write(plan->tag) != plan->tag.size())
        return TagOutcome::Failed;
    if (!downloaded.seek(plan ? plan->audioStart : 0))
        return TagOutcome::Failed;
    while (!downloaded.atEnd()) {
        const QByteArray chunk = downloaded.read(kCopyChunkBytes);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return TagOutcome::Failed;
    }
    return plan ? TagOutcome::Tagged : TagOutcome::Untouched;
}

} // namespace corvane
