#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace corvane {

// How many leading bytes are searched for a <meta> charset declaration.
inline constexpr qsizetype kMetaCharsetWindow = 1024;

// The charset a response body is decoded with, in order of precedence: the charset
// parameter of the Content-Type header, a byte-order mark, a <meta> declaration in the
// first kMetaCharsetWindow bytes, UTF-8 when the bytes are valid UTF-8, else GB18030.
// Chinese song pages come in both UTF-8 and the GB family.
QByteArray decideCharset(QByteArrayView body, QByteArrayView contentType);

// GB18030 (and so GBK and GB2312) decoded on every build: by Qt where it has ICU, else
// by the system (Windows code page 54936; GBK's 936 where only that exists, as on wine).
QString decodeGb18030(QByteArrayView bytes);
// The reverse, through the same decoder's code page; the tests' fake service serves its
// GB pages with it.
QByteArray encodeGb18030(QStringView text);
// Whether decodeGb18030() knows GB18030's four-byte sequences too.
bool decodesWholeGb18030();

// The body decoded with decideCharset(); invalid sequences become U+FFFD.
QString decodeBody(QByteArrayView body, QByteArrayView contentType);

// The charset parameter of a Content-Type value ("text/html; charset=gbk" -> "gbk"), or empty.
QByteArray charsetFromContentType(QByteArrayView contentType);

// The charset named by a <meta charset> or <meta http-equiv ... charset=...> in the text, or empty.
QByteArray charsetFromMeta(QByteArrayView head);

} // namespace corvane
