// libFuzzer target over the readers of the service's song lists (playlist, album, singer,
// search), the character references they decode, and the rule that tells a list or words
// from a pasted text.

#include <QByteArray>
#include <QString>

#include <cstdlib>

#include "core/errors.h"
#include "core/kuwolists.h"
#include "core/textcutting.h"

using namespace corvane;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A name as every server text must come: bounded, one line.
void checkName(const QString &name)
{
    check(name.size() <= kNameMaxUnits);
    for (const QChar c : name)
        check(c != u'\n' && c != u'\r' && c.category() != QChar::Other_Control);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    for (ListPage (*read)(const QByteArray &) : {readPlaylistPage, readAlbumPage, readSingerPage, readSearchPage}) {
        try {
            const ListPage page = read(input);
            checkName(page.title);
            for (const ListSong &song : page.songs) {
                check(!song.id.isEmpty() && song.id.size() <= 20);
                for (const QChar c : song.id)
                    check(c >= u'0' && c <= u'9');
                checkName(song.name);
                checkName(song.artist);
                checkName(song.album);
                check(song.duration >= 0);
            }
        } catch (const ContentError &) {
        }
    }
    const QString text = QString::fromUtf8(input);
    // Decoding never grows a text: every reference is longer than what it stands for.
    check(decodeEntities(text).size() <= text.size());
    const SongListRequest list = songListFromText(text);
    check((list.kind == SongListRequest::Kind::None) == list.key.isEmpty());
    if (list.kind == SongListRequest::Kind::Search)
        check(list.key.size() <= kMaxSearchUnits && !list.key.contains(u"://"));
    return 0;
}
