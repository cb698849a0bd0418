#include "platform/ServiceUrl.h"

#include <arpa/inet.h>

namespace {
// QUrl has already written an address host in its one canonical form, which is all the
// C library's strict parser has to read (and so the toolkit's network library stays
// out of the first second).
bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QByteArray text = host.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, text.constData(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.constData(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    // An IPv4 address written as IPv6 is that address.
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}
} // namespace

namespace ServiceUrl {

bool isHttps(const QUrl& url) {
    return url.isValid() &&
           url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
           !url.host().isEmpty();
}

bool isAllowed(const QUrl& url) {
    if (isHttps(url)) return true;
    return url.isValid() && url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 &&
           isLoopbackHost(url.host());
}

} // namespace ServiceUrl
