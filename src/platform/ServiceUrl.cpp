#include "platform/ServiceUrl.h"

#include <QHostAddress>

namespace {
bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
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
