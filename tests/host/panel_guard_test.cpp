// The panel's request guard: which requests reach a handler.
#include <gtest/gtest.h>

#include "request_guard.h"

namespace host {
namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";
const std::string kCookie = std::string(kTokenCookie) + "=" + kToken;

struct GuardCase {
  const char* what;
  PanelAddress listen;
  GuardedRequest request;
  bool tokenFree;
  GuardVerdict expected;
};

class PanelGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(PanelGuard, DecidesAsTheRulesSay) {
  const GuardCase& c = GetParam();
  EXPECT_EQ(guardRequest(c.request, c.listen, kToken, c.tokenFree), c.expected) << c.what;
}

const PanelAddress kLoopback{"127.0.0.1", 8787};
const PanelAddress kEverywhere{"0.0.0.0", 8787};
const PanelAddress kLan{"192.168.1.20", 8787};
constexpr auto allowed = GuardVerdict::allowed;
constexpr auto wrongHost = GuardVerdict::wrongHost;
constexpr auto noToken = GuardVerdict::noToken;
constexpr auto wrongOrigin = GuardVerdict::wrongOrigin;

INSTANTIATE_TEST_SUITE_P(
    Rules, PanelGuard,
    ::testing::Values(
        GuardCase{"the token URL", kLoopback, {"GET", "127.0.0.1:8787", "", "", "", kToken}, false, allowed},
        GuardCase{"localhost names loopback", kLoopback, {"GET", "localhost:8787", "", kCookie, "", ""}, false, allowed},
        GuardCase{"a page read with the cookie", kLoopback, {"GET", "127.0.0.1:8787", "", kCookie, "", ""}, false, allowed},
        GuardCase{"a read without any token", kLoopback, {"GET", "127.0.0.1:8787", "", "", "", ""}, false, noToken},
        GuardCase{"a wrong token", kLoopback, {"GET", "127.0.0.1:8787", "", "", "", "0123456789abcdef0123456789abcdee"},
                  false, noToken},
        GuardCase{"a token prefix", kLoopback, {"GET", "127.0.0.1:8787", "", "", kToken.substr(0, 8), ""}, false, noToken},
        GuardCase{"a public file without token", kLoopback, {"GET", "127.0.0.1:8787", "", "", "", ""}, true, allowed},
        GuardCase{"DNS rebinding: another name", kLoopback, {"GET", "evil.example:8787", "", kCookie, "", ""}, false,
                  wrongHost},
        GuardCase{"DNS rebinding even for public files", kLoopback, {"GET", "evil.example:8787", "", "", "", ""}, true,
                  wrongHost},
        GuardCase{"another port", kLoopback, {"GET", "127.0.0.1:8788", "", kCookie, "", ""}, false, wrongHost},
        GuardCase{"no Host", kLoopback, {"GET", "", "", kCookie, "", ""}, false, wrongHost},
        GuardCase{"a POST of the panel's page", kLoopback,
                  {"POST", "127.0.0.1:8787", "http://127.0.0.1:8787", kCookie, "", ""}, false, allowed},
        GuardCase{"a POST with the header token", kLoopback,
                  {"POST", "localhost:8787", "http://localhost:8787", "", kToken, ""}, false, allowed},
        GuardCase{"a POST with the token only in the query", kLoopback,
                  {"POST", "127.0.0.1:8787", "http://127.0.0.1:8787", "", "", kToken}, false, noToken},
        GuardCase{"a POST from another site carrying the cookie", kLoopback,
                  {"POST", "127.0.0.1:8787", "http://evil.example", kCookie, "", ""}, false, wrongOrigin},
        GuardCase{"a POST without Origin", kLoopback, {"POST", "127.0.0.1:8787", "", kCookie, "", ""}, false,
                  wrongOrigin},
        GuardCase{"a POST from the panel under its other name", kLoopback,
                  {"POST", "127.0.0.1:8787", "http://localhost:8787", kCookie, "", ""}, false, wrongOrigin},
        GuardCase{"a POST from the panel without the token", kLoopback,
                  {"POST", "127.0.0.1:8787", "http://127.0.0.1:8787", "", "", ""}, false, noToken},
        GuardCase{"a POST from https of the same name", kLoopback,
                  {"POST", "127.0.0.1:8787", "https://127.0.0.1:8787", kCookie, "", ""}, false, wrongOrigin},
        GuardCase{"a LAN listen by its address", kLan, {"GET", "192.168.1.20:8787", "", kCookie, "", ""}, false, allowed},
        GuardCase{"a LAN listen refuses localhost", kLan, {"GET", "localhost:8787", "", kCookie, "", ""}, false,
                  wrongHost},
        GuardCase{"a wildcard listen by a numeric address", kEverywhere,
                  {"POST", "10.0.0.5:8787", "http://10.0.0.5:8787", kCookie, "", ""}, false, allowed},
        GuardCase{"a wildcard listen refuses names", kEverywhere, {"GET", "rig.evil.example:8787", "", kCookie, "", ""},
                  false, wrongHost}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return "case" + std::to_string(info.index); });

TEST(PanelGuardCookie, FindsTheNamedCookieAmongOthers) {
  EXPECT_EQ(cookieValue("a=1; portrelay_panel_8787=xyz; b=2", "portrelay_panel_8787"), "xyz");
  EXPECT_EQ(cookieValue("xportrelay_panel_8787=no", "portrelay_panel_8787"), "");
  EXPECT_EQ(cookieValue("", "portrelay_panel_8787"), "");
}

TEST(PanelGuardToken, IsFreshAndLongEnough) {
  const std::string a = makeToken(), b = makeToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace host
