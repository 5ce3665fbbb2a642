#pragma once

#include <QString>
#include <QUrl>

namespace corvane {

// Whether `host` (as QUrl::host() gives it) names this machine or its own network rather
// than a host of the internet: "localhost" (and its subdomains), or a literal loopback,
// private, shared (100.64/10), link-local, unspecified or unique-local address, IPv4 or
// IPv6, IPv4 written in any of the numeric forms a resolver takes ("127.1", "0x7f.1",
// "2130706433") and IPv4 inside IPv6 ("::ffff:127.0.0.1"). A name is judged as written:
// a link or a redirect from the network may not reach a service of the user's own.
bool isLocalHost(const QString &host);

// An http or https address with a host that is not a local one (isLocalHost): what a
// server's link, picture address or redirect may send the program to.
bool isNetworkAddress(const QUrl &url);

} // namespace corvane
