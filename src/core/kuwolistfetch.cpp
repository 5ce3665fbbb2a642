#include <QSet>

#include "errors.h"
#include "httpfetch.h"
#include "kuwolists.h"

// The paging of the service's lists, apart from their readers: built without the fuzzing
// build's undefined-behaviour checks, which clang cannot apply to coroutines.
namespace corvane {

namespace {

struct Endpoint
{
    int rows;
    qsizetype bound;
    QString (*url)(const QString &host, const QString &key, int page, int rows);
    ListPage (*read)(const QByteArray &answer);
    // The singer's pages end by their count ((pn + 1) × rn ≥ total); the others only when
    // the songs received reach the total or a page is empty, since a page may hold fewer
    // songs than asked for.
    bool endsByPageCount = false;
};

Endpoint endpointOf(SongListRequest::Kind kind)
{
    switch (kind) {
    case SongListRequest::Kind::Playlist:
        // More than 1000 a page has been refused by the service.
        return {1000, kMaxListSongs, playlistPageUrl, readPlaylistPage};
    case SongListRequest::Kind::Album:
        return {100, kMaxListSongs, albumPageUrl, readAlbumPage};
    case SongListRequest::Kind::Singer:
        return {100, kMaxListSongs, singerPageUrl, readSingerPage, true};
    case SongListRequest::Kind::Search:
    case SongListRequest::Kind::None:
        break;
    }
    return {int(kMaxSearchSongs), kMaxSearchSongs, searchPageUrl, readSearchPage, true};
}

} // namespace

QCoro::Task<SongList> fetchSongList(SongListRequest request, ServiceConfig config, Requests *owner)
{
    if (request.kind == SongListRequest::Kind::None)
        throw ContentError("not a list");
    const bool search = request.kind == SongListRequest::Kind::Search;
    const Endpoint endpoint = endpointOf(request.kind);
    const QString &host = request.kind == SongListRequest::Kind::Playlist ? config.playlistHost : config.searchHost;
    SongList list{request, search ? request.key : QString(), {}};
    QSet<QString> seen;
    qint64 total = 0;
    bool ended = false;
    bool retried = false;
    for (int page = 0; page < kMaxListPages && !ended && list.songs.size() < endpoint.bound; ++page) {
        const RawResponse answer =
            co_await fetchRaw(acceptedHttpUrl(endpoint.url(host, request.key, page, endpoint.rows)), config.fetch, owner);
        const ListPage read = endpoint.read(answer.body);
        // The search sometimes counts hits and shows none: asking again once is known to help.
        if (search && page == 0 && read.songs.isEmpty() && read.total > 0 && !retried) {
            retried = true;
            --page;
            continue;
        }
        if (page == 0 && !search)
            list.title = read.title;
        total = read.total;
        const qsizetype before = list.songs.size();
        for (const ListSong &song : read.songs) {
            if (!seen.contains(song.id)) {
                seen.insert(song.id);
                list.songs << song;
            }
        }
        // A page of songs already listed is a server repeating itself: the list is complete.
        ended = list.songs.size() == before || list.songs.size() >= total ||
                (endpoint.endsByPageCount && qint64(page + 1) * endpoint.rows >= total);
    }
    // Songs beyond the bound, or pages beyond theirs, are left out, and the list says so.
    list.capped = list.songs.size() > endpoint.bound || (!ended && list.songs.size() < total);
    if (list.songs.size() > endpoint.bound)
        list.songs.resize(endpoint.bound);
    co_return list;
}

} // namespace corvane
