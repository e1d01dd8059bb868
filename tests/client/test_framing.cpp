#include "client/zr_framing.h"
#include "client/zr_proxy.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string text(const ZrRequestText& r) { return r.GetText().str(); }

TEST(RequestText, FieldsFollowTheOpcodeOnLinesOfTheirOwn) {
    EXPECT_EQ(text(ZrRequestText(108)), "108");
    EXPECT_EQ(text(ZrRequestText(105).AddInt(7)), "105\n7");
    EXPECT_EQ(text(ZrRequestText(111).AddText("bnfs://h:1/ZPI/").AddInt(4242)),
              "111\nbnfs://h:1/ZPI/\n4242");
    EXPECT_EQ(text(ZrRequestText(101).AddText(nullptr).AddInt(-3)), "101\n\n-3");
    EXPECT_EQ(text(ZrRequestText(179).AddDouble(0.1)), "179\n0.100000000000000006");
    const double row[3] = {1, 0, 0};
    const int ids[2] = {4, -5};
    EXPECT_EQ(text(ZrRequestText(102).AddDoubles(row, 3).AddInts(ids, 2)), "102\n1 0 0\n4 -5");
    EXPECT_EQ(text(ZrRequestText(158).AddInt(1).AddLineFeed()), "158\n1\n");
}

TEST(Reply, FieldsStatusAndValues) {
    ZrReply r;
    r.Parse("0\n17");
    EXPECT_EQ(r.GetStatus(), 0);
    EXPECT_EQ(r.GetInt(1), 17);
    EXPECT_STREQ(r.GetValue(), "17");

    r.Parse("5");
    EXPECT_EQ(r.GetStatus(), 5);
    EXPECT_EQ(r.GetFieldCount(), 1);
    EXPECT_STREQ(r.GetValue(), "");
    EXPECT_EQ(r.GetInt(1, -1), -1); // missing field
    EXPECT_EQ(r.GetWholeAsInt(), 5);

    r.Parse("x\n1");
    EXPECT_EQ(r.GetStatus(), -1);
    EXPECT_EQ(r.GetWholeAsInt(), -1);

    // Fields stand by position: an empty field keeps the later ones in place.
    r.Parse("0\n\n2.5\nname  with blanks\n");
    EXPECT_EQ(r.GetFieldCount(), 5);
    EXPECT_EQ(r.GetStatus(), 0);
    EXPECT_STREQ(r.GetField(1), "");
    EXPECT_EQ(r.GetInt(1, 9), 9); // empty: not a number
    EXPECT_DOUBLE_EQ(r.GetDouble(2), 2.5);
    EXPECT_EQ(r.GetInt(2, 9), 9); // not an integer
    EXPECT_EQ(r.GetListCount(3), 3);
    EXPECT_EQ(std::string(r.GetListItem(3, 1)), "with");
    EXPECT_EQ(std::string(r.GetListItem(3, 7)), "");
    r.Parse("\n0");
    EXPECT_EQ(r.GetStatus(), -1); // field 0 is empty

    r.Parse("0\n1 2 x 4\n0.5  1e3");
    EXPECT_EQ(r.GetIntList(1, -1), (std::vector<int>{1, 2, -1, 4}));
    EXPECT_EQ(r.GetDoubleList(2), (std::vector<double>{0.5, 1000.0}));
    EXPECT_TRUE(r.GetIntList(5).empty());

    r.Parse(nullptr);
    EXPECT_EQ(r.GetFieldCount(), 0);
    EXPECT_EQ(r.GetStatus(), -1);

    ZrReplyIsModelUsed used;
    used.Parse("1");
    EXPECT_EQ(used.GetStatus(), 1);
    used.Parse("yes");
    EXPECT_EQ(used.GetIsUsed(), 0);
}

TEST(ProxyUrl, HostAndPortFromTheServerUrl) {
    std::string host = "old";
    int32_t port = 1;
    EXPECT_TRUE(ZorvanProxy::SplitServerUrl("bnfs://myhost:4711/", host, port));
    EXPECT_EQ(std::string(host), "myhost");
    EXPECT_EQ(port, 4711);
    host = "old";
    port = 1;
    ZorvanProxy::SplitServerUrl("bnfs://myhost:4711", host, port);
    EXPECT_EQ(std::string(host), "myhost");
    EXPECT_EQ(port, 4711);
    ZorvanProxy::SplitServerUrl("bnfs://10.0.0.7:80/ZPI/rest:more", host, port);
    EXPECT_EQ(std::string(host), "10.0.0.7");
    EXPECT_EQ(port, 80);

    // Without a second ':' both stay as they were.
    host = "old";
    port = 1;
    EXPECT_TRUE(ZorvanProxy::SplitServerUrl("bnfs://myhost/", host, port));
    EXPECT_EQ(std::string(host), "old");
    EXPECT_EQ(port, 1);
    ZorvanProxy::SplitServerUrl(nullptr, host, port);
    EXPECT_EQ(port, 1);
    // A port that is no number, or out of range.
    ZorvanProxy::SplitServerUrl("bnfs://h:x/", host, port);
    EXPECT_EQ(port, -1);
    ZorvanProxy::SplitServerUrl("bnfs://h:99999999999/", host, port);
    EXPECT_EQ(port, -1);
}

TEST(ProxyRequests, NothingGoesOutWithoutConnection) {
    xrchandle<ZorvanProxy> proxy(new ZorvanProxy());
    EXPECT_FALSE(proxy->IsConnected());
    EXPECT_EQ(proxy->GetPort(), -1);
    ZrReply reply;
    reply.Parse("0\n1");
    EXPECT_EQ(proxy->SendRequest(ZrRequestText(105).AddInt(7), reply), 100);
    EXPECT_EQ(reply.GetInt(1), 1); // untouched
    EXPECT_FALSE(proxy->SendRequestNoReply(ZrRequestText(108)));
    btkString raw;
    bnfsError error;
    EXPECT_FALSE(proxy->SendRequest("108", raw, error));
    EXPECT_EQ(error.code, BNFS_ERR_NOT_OPEN);
    // A URL whose server is not running: not connected.
    const RefusingLoopbackPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    EXPECT_FALSE(proxy->Connect(refusing.Url().c_str()));
    EXPECT_EQ(std::string(proxy->GetHost()), "127.0.0.1");
    EXPECT_EQ(std::string(proxy->GetServerUrl()), refusing.Url());
}

} // namespace
