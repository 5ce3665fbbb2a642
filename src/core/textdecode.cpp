#include "textdecode.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace corvane {
namespace {

const QByteArray kGb18030 = QByteArrayLiteral("GB18030");

// The GB family is one decoder: GB18030 is a superset of GBK and GB2312, and browsers
// decode all three labels that way.
QByteArray canonicalName(QByteArrayView name)
{
    const QByteArray lower = name.trimmed().toByteArray().toLower();
    static const QByteArrayView gbFamily[] = {"gb2312",      "gbk",      "x-gbk",      "gb18030", "cp936",
                                              "windows-936", "csgb2312", "gb_2312-80", "euc-cn"};
    for (QByteArrayView gb : gbFamily) {
        if (lower == gb)
            return kGb18030;
    }
    if (lower == "utf8")
        return QByteArrayLiteral("UTF-8");
    return lower;
}

// Qt decodes GB18030 only where it is built with ICU, as Debian's Qt is. The usual Qt
// builds for Windows have no ICU; Windows itself has GB18030 as code page 54936.
bool qtDecodesGb18030()
{
    static const bool decodes = QStringDecoder(kGb18030.constData()).isValid();
    return decodes;
}

bool isKnownCharset(const QByteArray &name)
{
    return !name.isEmpty() && (name == kGb18030 || QStringDecoder(name.constData()).isValid());
}

QByteArray charsetFromBom(QByteArrayView body)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return QByteArrayLiteral("UTF-8");
    if (body.startsWith("\xFF\xFE"))
        return QByteArrayLiteral("UTF-16LE");
    if (body.startsWith("\xFE\xFF"))
        return QByteArrayLiteral("UTF-16BE");
    return {};
}

bool isValidUtf8(QByteArrayView body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // Decoding in slices keeps the temporary small for large pages.
    constexpr qsizetype slice = 1 << 20;
    for (qsizetype at = 0; at < body.size(); at += slice) {
        // decode() is lazy: only the conversion to QString runs the decoder.
        const QString part = decoder.decode(body.sliced(at, qMin(slice, body.size() - at)));
        if (decoder.hasError())
            return false;
    }
    // A sequence cut off by the end of the body is invalid too.
    const QString tail = decoder.decode(QByteArrayView());
    return !decoder.hasError();
}

} // namespace

QByteArray charsetFromContentType(QByteArrayView contentType)
{
    const QList<QByteArray> params = contentType.toByteArray().split(';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray param = params.at(i).trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value.trimmed();
    }
    return {};
}

QByteArray charsetFromMeta(QByteArrayView head)
{
    static const QRegularExpression meta(
        QStringLiteral(R"(<meta\b[^>]*?\bcharset\s*=\s*["']?\s*([A-Za-z0-9_:.\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    // Latin-1 maps each byte to one character, so an ASCII declaration is found in any
    // ASCII-compatible encoding.
    const QRegularExpressionMatch match = meta.match(QString::fromLatin1(head));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QByteArray decideCharset(QByteArrayView body, QByteArrayView contentType)
{
    if (QByteArray named = canonicalName(charsetFromContentType(contentType)); isKnownCharset(named))
        return named;
    if (QByteArray bom = charsetFromBom(body); !bom.isEmpty())
        return bom;
    if (QByteArray named = canonicalName(charsetFromMeta(body.first(qMin(body.size(), kMetaCharsetWindow))));
        isKnownCharset(named))
        return named;
    if (isValidUtf8(body))
        return QByteArrayLiteral("UTF-8");
    return kGb18030;
}

#ifdef Q_OS_WIN
namespace {
// Windows has GB18030 as code page 54936. Wine (8.0) lacks it and has GBK (936), which
// decodes the one- and two-byte part, every common character included.
UINT gbCodePage()
{
    static const UINT page = IsValidCodePage(54936) ? 54936 : 936;
    return page;
}
} // namespace
#endif

bool decodesWholeGb18030()
{
#ifdef Q_OS_WIN
    return qtDecodesGb18030() || gbCodePage() == 54936;
#else
    return qtDecodesGb18030();
#endif
}

QString decodeGb18030(QByteArrayView bytes)
{
    if (qtDecodesGb18030())
        return QStringDecoder(kGb18030.constData()).decode(bytes);
#ifdef Q_OS_WIN
    if (bytes.isEmpty())
        return {};
    // Bodies are bounded far below INT_MAX bytes (kMaxBodyBytes).
    const int size = int(qMin<qsizetype>(bytes.size(), INT_MAX));
    const int units = MultiByteToWideChar(gbCodePage(), 0, bytes.data(), size, nullptr, 0);
    QString text(units, Qt::Uninitialized);
    MultiByteToWideChar(gbCodePage(), 0, bytes.data(), size, reinterpret_cast<wchar_t *>(text.data()), units);
    return text;
#else
    return QStringDecoder(QStringDecoder::Utf8).decode(bytes);
#endif
}

QByteArray encodeGb18030(QStringView text)
{
    if (qtDecodesGb18030())
        return QStringEncoder(kGb18030.constData()).encode(text);
#ifdef Q_OS_WIN
    if (text.isEmpty())
        return {};
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int size = int(qMin<qsizetype>(text.size(), INT_MAX));
    const int bytes = WideCharToMultiByte(gbCodePage(), 0, wide, size, nullptr, 0, nullptr, nullptr);
    QByteArray encoded(bytes, Qt::Uninitialized);
    WideCharToMultiByte(gbCodePage(), 0, wide, size, encoded.data(), bytes, nullptr, nullptr);
    return encoded;
#else
    return text.toUtf8();
#endif
}

QString decodeBody(QByteArrayView body, QByteArrayView contentType)
{
    const QByteArray charset = decideCharset(body, contentType);
    if (charset == kGb18030)
        return decodeGb18030(body);
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(body);
}

} // namespace corvane
