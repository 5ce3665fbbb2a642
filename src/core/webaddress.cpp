#include "webaddress.h"

#include <optional>

#include <QHostAddress>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace corvane {
namespace {

// One part of a numeric IPv4 host as inet_aton reads it: decimal, octal ("0177") or
// hexadecimal ("0x7f").
std::optional<quint64> numericPart(const QString &part)
{
    if (part.isEmpty())
        return std::nullopt;
    bool ok = false;
    quint64 value = 0;
    if (part.compare(u"0x"_s, Qt::CaseInsensitive) == 0)
        ok = true;
    else if (part.startsWith(u"0x"_s, Qt::CaseInsensitive))
        value = part.mid(2).toULongLong(&ok, 16);
    else if (part.size() > 1 && part.startsWith(u'0'))
        value = part.toULongLong(&ok, 8);
    else
        value = part.toULongLong(&ok, 10);
    if (!ok || value > 0xffffffffULL)
        return std::nullopt;
    return value;
}

// The IPv4 address a host written as numbers stands for ("127.1", "2130706433"), as the
// system's resolver would take it.
std::optional<quint32> numericIPv4(const QString &host)
{
    const QStringList parts = host.split(u'.');
    if (parts.isEmpty() || parts.size() > 4)
        return std::nullopt;
    QList<quint64> values;
    for (const QString &part : parts) {
        const auto value = numericPart(part);
        if (!value)
            return std::nullopt;
        values << *value;
    }
    // The last part fills the bytes the earlier ones leave.
    quint64 address = 0;
    for (int i = 0; i < values.size() - 1; ++i) {
        if (values.at(i) > 0xff)
            return std::nullopt;
        address |= values.at(i) << (24 - 8 * i);
    }
    const int lastBits = 32 - 8 * int(values.size() - 1);
    if (values.last() >= (quint64(1) << lastBits))
        return std::nullopt;
    return quint32(address | values.last());
}

bool isLocalIPv4(quint32 a)
{
    return (a >> 24) == 0 ||              // 0.0.0.0/8: this host
           (a >> 24) == 10 ||             // 10.0.0.0/8
           (a >> 24) == 127 ||            // loopback
           (a >> 22) == (100u << 2 | 1) || // 100.64.0.0/10: shared (carrier) space
           (a >> 16) == (169u << 8 | 254) || // link-local
           (a >> 20) == (172u << 4 | 1) ||   // 172.16.0.0/12
           (a >> 16) == (192u << 8 | 168);   // 192.168.0.0/16
}

} // namespace

bool isLocalHost(const QString &host)
{
    QString name = host.toLower();
    while (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty() || name == u"localhost"_s || name.endsWith(u".localhost"_s))
        return true;
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    if (const auto v4 = numericIPv4(name))
        return isLocalIPv4(*v4);
    // Every IPv4 form is read above: what is left is IPv6 or a name.
    QHostAddress address;
    if (!address.setAddress(name))
        return false; // a name: judged as written
    bool mapped = false;
    if (const quint32 v4 = address.toIPv4Address(&mapped); mapped)
        return isLocalIPv4(v4);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    bool unspecified = true;
    for (int i = 0; i < 16; ++i)
        unspecified = unspecified && bytes[i] == 0;
    return unspecified || address.isLoopback() || (bytes[0] & 0xfe) == 0xfc || // fc00::/7
           (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) ||                    // fe80::/10
           (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0xc0);                      // fec0::/10
}

bool isNetworkAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !url.host().isEmpty() &&
           !isLocalHost(url.host());
}

} // namespace corvane
