#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <QCoroTask>

#include "kuwoquality.h"
#include "serviceconfig.h"

// The service's lists of songs: playlists, albums, singers and search. Each endpoint's
// request and the reading of its answer live here, together, because the service
// changes them every few months.
namespace corvane {

// What a pasted text asks to list, when it names no song.
struct SongListRequest
{
    enum class Kind { None, Playlist, Album, Singer, Search };
    Kind kind = Kind::None;
    QString key; // the list's id (digits), or the words to search for
};

// At most this many characters are searched for; a longer text is not words.
inline constexpr qsizetype kMaxSearchUnits = 100;

// The list a pasted text names: a playlist, album or singer address on the service's own
// hosts (as songIdFromText finds them, bare or in a share text), else, for a text that
// holds no address at all and is not blank, the words to search for. Kind::None for
// anything else (another site, a blank text, a song address).
SongListRequest songListFromText(QStringView text);
// A text that would be words to search for, but longer than kMaxSearchUnits.
bool isTooLongToSearch(QStringView text);

// One song of a list, its names decoded and bounded like every name from the network.
struct ListSong
{
    QString id; // digits, no "MUSIC_"
    QString name;
    QString artist;
    QString album;
    qint64 duration = 0; // seconds; 0 when the list does not say
    // The files the service holds for it, as the list names them (N_MINFO, else MINFO);
    // empty when it does not say.
    QList<OfferedFile> offered = {};
    int track = 0; // its number in an album, as the album says; 0 when it does not
};

// One page of a list's answer.
struct ListPage
{
    QString title;   // the list's own name; empty when the answer gives none
    qint64 total = 0; // the songs the whole list holds, as the answer counts them
    QList<ListSong> songs;
};

// A list is read up to this many songs; a search, its first kMaxSearchSongs results.
inline constexpr qsizetype kMaxListSongs = 10000;
inline constexpr qsizetype kMaxSearchSongs = 100;

// The request for page `page` (from 0) of `rows` songs.
QString playlistPageUrl(const QString &host, const QString &pid, int page, int rows);
QString albumPageUrl(const QString &host, const QString &albumId, int page, int rows);
QString singerPageUrl(const QString &host, const QString &singerId, int page, int rows);
QString searchPageUrl(const QString &host, const QString &words, int page, int rows);

// The readers of those answers. Each throws ContentError for an answer that is not a
// JSON object, a playlist whose "result" is not "ok", or no song list at all. A song
// without an id of digits is left out.
ListPage readPlaylistPage(const QByteArray &answer);
ListPage readAlbumPage(const QByteArray &answer);
ListPage readSingerPage(const QByteArray &answer);
ListPage readSearchPage(const QByteArray &answer);

// HTML character references in a name, decoded once: the named ones the service sends
// (&nbsp; &amp; &lt; &gt; &quot; &apos;) and numeric ones; anything else stays as it is.
QString decodeEntities(QStringView text);

// A whole list, its pages fetched in turn.
struct SongList
{
    SongListRequest request;
    QString title; // the list's name; a search: its words
    QList<ListSong> songs;
    // Cut short by a bound (kMaxListSongs, kMaxSearchSongs, kMaxListPages): the service
    // counts more songs than these.
    bool capped = false;
};
// A list is read in at most this many pages, however short the server makes them.
inline constexpr int kMaxListPages = 200;

// Fetches every page of the list `request` names until the list is complete (the songs
// received reach its total, a page is empty or brings no new song; a singer's and a
// search's pages also end by their count), at most kMaxListSongs songs (a search:
// kMaxSearchSongs) in at most kMaxListPages pages, each song once. Throws FetchError or ContentError as its first
// failing page does, FetchStopped when `owner` is stopped.
QCoro::Task<SongList> fetchSongList(SongListRequest request, ServiceConfig config, Requests *owner);

} // namespace corvane
