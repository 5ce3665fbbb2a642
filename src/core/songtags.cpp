#include "songtags.h"

#include <memory>
#include <optional>

#include <QImage>
#include <QIODevice>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/xiphcomment.h>

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

// FLAC's metadata block types that planFlacTag() handles.
enum FlacBlockType : quint8 { kStreamInfo = 0, kPadding = 1, kVorbisComment = 4, kPicture = 6 };
// A block's length is 24 bits.
constexpr qsizetype kMaxFlacBlockBytes = (1 << 24) - 1;
// A FLAC has a handful of metadata blocks; a head of thousands of empty ones is left as it
// is rather than listed.
constexpr int kMaxFlacBlocks = 256;

struct FlacBlock
{
    quint8 type;
    QByteArrayView data;
};

// The metadata blocks `head` holds after its "fLaC", and where the audio starts after them;
// none when `head` does not hold them all.
std::optional<QList<FlacBlock>> flacBlocks(QByteArrayView head, qint64 *audioStart)
{
    if (!head.startsWith("fLaC"))
        return {};
    QList<FlacBlock> blocks;
    qsizetype at = 4;
    while (at + 4 <= head.size()) {
        const quint8 flags = quint8(head[at]);
        const qsizetype length =
            (qsizetype(quint8(head[at + 1])) << 16) | (qsizetype(quint8(head[at + 2])) << 8) | quint8(head[at + 3]);
        if (at + 4 + length > head.size())
            return {};
        if (blocks.size() == kMaxFlacBlocks)
            return {};
        blocks.append({quint8(flags & 0x7f), head.sliced(at + 4, length)});
        at += 4 + length;
        if (flags & 0x80) {
            *audioStart = at;
            return blocks;
        }
    }
    return {};
}

void appendFlacBlock(QByteArray &out, quint8 type, QByteArrayView data)
{
    out.append(char(type));
    out.append(char((data.size() >> 16) & 0xff));
    out.append(char((data.size() >> 8) & 0xff));
    out.append(char(data.size() & 0xff));
    out.append(data);
}

} // namespace

qint64 flacHeadBytes(QByteArrayView head)
{
    qsizetype at = 4;
    for (int blocks = 0; at + 4 <= head.size(); ++blocks) {
        if (blocks == kMaxFlacBlocks)
            return 0;
        const bool last = (quint8(head[at]) & 0x80) != 0;
        const qsizetype length =
            (qsizetype(quint8(head[at + 1])) << 16) | (qsizetype(quint8(head[at + 2])) << 8) | quint8(head[at + 3]);
        at += 4 + length;
        if (at > kMaxHeldTagBytes)
            return 0;
        if (last)
            return at;
    }
    return -1;
}

std::optional<TagPlan> planFlacTag(QByteArrayView head, const SongTags &tags)
{
    qint64 audioStart = 0;
    const std::optional<QList<FlacBlock>> blocks = flacBlocks(head, &audioStart);
    if (!blocks || blocks->isEmpty() || blocks->first().type != kStreamInfo)
        return {};
    const auto existing = [&blocks](quint8 type) {
        return std::find_if(blocks->cbegin(), blocks->cend(), [type](const FlacBlock &block) {
            return block.type == type;
        });
    };
    const auto own = existing(kVorbisComment);
    const auto comment = own == blocks->cend() ? std::make_unique<TagLib::Ogg::XiphComment>()
                                               : std::make_unique<TagLib::Ogg::XiphComment>(TagLib::ByteVector(
                                                     own->data.data(), static_cast<unsigned int>(own->data.size())));
    bool added = false;
    const auto addField = [&](const char *key, const QString &text) {
        if (text.isEmpty() || comment->contains(key))
            return;
        comment->addField(key, tagText(text));
        added = true;
    };
    addField("TITLE", tags.title);
    addField("ARTIST", tags.artist);
    addField("ALBUM", tags.album);
    if (tags.track > 0) {
        addField("TRACKNUMBER", QString::number(tags.track));
        if (tags.tracks > 0)
            addField("TRACKTOTAL", QString::number(tags.tracks));
    }
    addField("LYRICS", tags.lyrics);

    QByteArray picture;
    const TagLib::String mimeType = coverType(tags.cover);
    if (!mimeType.isEmpty() && tags.cover.size() <= kMaxCoverBytes && existing(kPicture) == blocks->cend()) {
        const QImage image = QImage::fromData(tags.cover);
        if (!image.isNull()) {
            TagLib::FLAC::Picture cover;
            cover.setType(TagLib::FLAC::Picture::FrontCover);
            cover.setMimeType(mimeType);
            cover.setWidth(image.width());
            cover.setHeight(image.height());
            cover.setColorDepth(image.isGrayscale() ? 8 : image.hasAlphaChannel() ? 32 : 24);
            cover.setData(TagLib::ByteVector(tags.cover.constData(), static_cast<unsigned int>(tags.cover.size())));
            const TagLib::ByteVector rendered = cover.render();
            picture = QByteArray(rendered.data(), qsizetype(rendered.size()));
            added = true;
        }
    }
    if (!added)
        return {};
    const TagLib::ByteVector rendered = comment->render(/*addFramingBit=*/false);
    const QByteArray commentData(rendered.data(), qsizetype(rendered.size()));
    if (commentData.size() > kMaxFlacBlockBytes)
        return {};

    // Its own blocks in their order (its comment where it was), ours after them; the last
    // one says so.
    QByteArray out("fLaC");
    qsizetype lastHeader = 0;
    const auto append = [&](quint8 type, QByteArrayView data) {
        lastHeader = out.size();
        appendFlacBlock(out, type, data);
    };
    bool commentWritten = false;
    for (const FlacBlock &block : *blocks) {
        if (block.type == kPadding)
            continue;
        if (block.type == kVorbisComment) {
            if (!std::exchange(commentWritten, true))
                append(kVorbisComment, commentData);
            continue;
        }
        append(block.type, block.data);
    }
    if (!commentWritten)
        append(kVorbisComment, commentData);
    if (!picture.isEmpty())
        append(kPicture, picture);
    out[lastHeader] = char(quint8(out[lastHeader]) | 0x80);
    return TagPlan{out, audioStart};
}

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
    if (tags.track > 0) // "3/12"
        addText("TRCK", QString::number(tags.track) + (tags.tracks > 0 ? u'/' + QString::number(tags.tracks) : QString()));
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
