#include "platform/ServiceUrl.h"

#include <gtest/gtest.h>

TEST(ServiceUrlTest, HttpsAnywherePlainHttpOnlyToThisMachine) {
    for (const char* ok :
         {"https://example.org/feed", "HTTPS://Example.org", "http://localhost:8080/x",
          "http://LocalHost", "http://127.0.0.1:1/", "http://127.8.0.3", "http://[::1]:9/",
          "http://127.1", "http://[::ffff:127.0.0.1]/", "http://[0:0:0:0:0:0:0:1]/"})
        EXPECT_TRUE(ServiceUrl::isAllowed(QUrl(QString::fromLatin1(ok)))) << ok;
    for (const char* no :
         {"", "http://example.org", "http://10.0.0.1", "http://[::2]/", "http://[::ffff:10.0.0.1]/",
          "http://128.0.0.1", "http://localhost.example.org", "https:/no-host", "ftp://127.0.0.1",
          "file:///etc/passwd", "javascript:alert(1)"})
        EXPECT_FALSE(ServiceUrl::isAllowed(QUrl(QString::fromLatin1(no)))) << no;
    EXPECT_TRUE(ServiceUrl::isHttps(QUrl("https://example.org")));
    EXPECT_FALSE(ServiceUrl::isHttps(QUrl("http://127.0.0.1")));
}
