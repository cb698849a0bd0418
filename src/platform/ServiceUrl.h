#pragma once

#include <QUrl>

// Which addresses the application talks to over the network. Everything leaves the
// machine over HTTPS; plain HTTP is accepted only when it stays on this machine, which
// is how the tests point a request at their own local server.
namespace ServiceUrl {

// A valid https address with a host.
bool isHttps(const QUrl& url);

// An https address, or a plain http one to a loopback host.
bool isAllowed(const QUrl& url);

} // namespace ServiceUrl
