#include "base/Address.h"

#include <gtest/gtest.h>

TEST(Address, RelativeLinksMeanPlacesOnTheBasesSite) {
    const ByteString base = "http://shop.example/cgi/script.php?x=1";
    struct TCase {
        ByteString Link;
        ByteString Resolved;
    };
    const TCase cases[] = {
        {"reply.php", "http://shop.example/cgi/reply.php"},
        {"sub/deep.php?a=b", "http://shop.example/cgi/sub/deep.php?a=b"},
        {"/top.php", "http://shop.example/top.php"},
        {"../up.php", "http://shop.example/up.php"},
        {"//other.example/x", "http://other.example/x"},
        {"https://other.example/y", "https://other.example/y"},
        {"mailto:someone@shop.example", "mailto:someone@shop.example"},
        {"#anchor", "http://shop.example/cgi/script.php?x=1#anchor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Link);
        EXPECT_EQ(ResolveAddress(base, c.Link), c.Resolved);
    }
    // Without a usable base, a link stays as it is.
    EXPECT_EQ(ResolveAddress("", "reply.php"), "reply.php");
    EXPECT_EQ(ResolveAddress("cgi/script.php", "reply.php"), "reply.php");
}

TEST(Address, OriginsAreSchemeHostAndPort) {
    struct TCase {
        ByteString First, Second;
        bool Same;
    };
    const TCase cases[] = {
        {"http://shop.example/a", "http://SHOP.example:80/b", true},
        {"https://shop.example/a", "https://shop.example:443/", true},
        {"http://shop.example/a", "https://shop.example/a", false},
        {"http://shop.example:8080/a", "http://shop.example/a", false},
        {"http://127.0.0.1:8080/a", "http://localhost:8080/a", false},
        {"reply.php", "reply.php", false},
        {"", "http://shop.example/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.First + " ~ " + c.Second);
        EXPECT_EQ(SameOrigin(c.First, c.Second), c.Same);
    }
}
