#pragma once

#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

namespace corvane {

// What a downloaded song says about itself once saved: the tool writes what it showed
// for the song into the file, for players, phones and car stereos to show.
struct SongTags
{
    QString title; // the full name, not the shortened one
    QString artist;
    QString album;    // only the service's today answers have it
    QString lyrics;   // as the lyrics box shows them
    QByteArray cover; // the singer's picture as the server sent it
    int track = 0;    // its number in its album, of `tracks`; 0: none
    int tracks = 0;

    bool isEmpty() const
    {
        return title.isEmpty() && artist.isEmpty() && album.isEmpty() && lyrics.isEmpty() && cover.isEmpty() &&
               track <= 0;
    }
};

// A larger picture is not put into the file: players read the whole tag before playing.
inline constexpr qsizetype kMaxCoverBytes = 1024 * 1024;

enum class TagOutcome {
    Tagged,    // the copy starts with the tag, then the audio as it was downloaded
    Untouched, // the copy is the download byte for byte
    Failed,    // reading or writing failed: what `out` holds is not whole
};

// The tag a download gets, and where the download's own bytes resume after it: the tag is
// written first, then the download from `audioStart` on (past its own ID3v2 tag, whose
// frames the new one carries).
struct TagPlan
{
    QByteArray tag;
    qint64 audioStart = 0;
};

// How many of a download's first bytes planTag() needs to see, for a download that begins
// with `head`: its own ID3v2 tag and the first audio frames after it (fewer when the whole
// download is shorter). -1: `head` is too short to tell (an ID3v2 header is 10 bytes);
// 0: its tag claims more than is worth holding in memory, and the download is saved
// untouched.
qint64 tagHeadBytes(QByteArrayView head);

// The tag for the download whose first bytes (or all of them) `head` holds, open for
// reading; none when the download is not MPEG audio or gains no frame (as copyWithTags).
std::optional<TagPlan> planTag(QIODevice &head, const SongTags &tags);

// Copies the download in `downloaded` (open for reading) to `out`. When it is MPEG audio
// (as TagLib reads it), the copy carries an ID3v2 tag with the frames of `tags` that the
// file's own tag lacks: TIT2, TPE1, TALB, USLT (language "chi") and APIC (front cover,
// only a JPEG or PNG of at most kMaxCoverBytes), text in UTF-16. A frame the file has is
// kept as it is, and so is everything else in its tag; the tag stays ID3v2.4 when it was,
// and is ID3v2.3 otherwise. What follows the tag is copied byte for byte. Not MPEG audio,
// a tag TagLib cannot read, a tag after other data, a file over 1 GiB, or nothing to
// add: copied untouched.
TagOutcome copyWithTags(QIODevice &downloaded, QIODevice &out, const SongTags &tags);

// How many of a FLAC download's first bytes planFlacTag() needs to see, for a download that
// begins with `head`: the "fLaC" marker and every metadata block. -1: not yet known, more
// is needed; 0: its metadata claims more than is worth holding in memory, and the download
// is saved untouched.
qint64 flacHeadBytes(QByteArrayView head);

// The metadata a FLAC download gets, for a download whose first bytes `head` holds its
// "fLaC" marker and all its metadata blocks; the audio frames follow from `audioStart` on,
// byte for byte. Its own blocks are kept (padding dropped), its Vorbis comment gains the
// fields of `tags` it lacks (TITLE, ARTIST, ALBUM, LYRICS), and a front cover (only a JPEG
// or PNG of at most kMaxCoverBytes) is added as a PICTURE block with its MIME type, size
// and depth when it has none. None when `head` is not such a start, or nothing is added.
std::optional<TagPlan> planFlacTag(QByteArrayView head, const SongTags &tags);

} // namespace corvane
