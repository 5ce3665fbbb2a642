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
        return {100, kMaxListSongs, singerPageUrl, readSingerPage};
    case SongListRequest::Kind::Search:
    case SongListRequest::Kind::None:
        break;
    }
    return {int(kMaxSearchSongs), kMaxSearchSongs, searchPageUrl, readSearchPage};
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
    // A server that repeats its pages or counts without end is read only this far.
    const int lastPage = int(endpoint.bound / endpoint.rows);
    bool retried = false;
    for (int page = 0; page <= lastPage && list.songs.size() < endpoint.bound; ++page) {
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
        for (const ListSong &song : read.songs) {
            if (list.songs.size() < endpoint.bound && !seen.contains(song.id)) {
                seen.insert(song.id);
                list.songs << song;
            }
        }
        if (read.songs.isEmpty() || list.songs.size() >= read.total ||
            qint64(page + 1) * endpoint.rows >= read.total)
            break;
    }
    co_return list;
}

} // namespace corvane
