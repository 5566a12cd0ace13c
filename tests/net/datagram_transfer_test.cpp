#include "datagram_fixture.h"
#include "tools/relay/datagram_exchange.h"

namespace {

using DatagramTransferTest = DatagramTest;

TEST_F(DatagramTransferTest, ReliableMessagesSurviveABadNetwork)
{
    struct Case {
        const char* why;
        ImpairmentSettings network;
    };
    const Case cases[] = {
        {"clean line", {}},
        {"20% loss, duplicates, reordering",
         {.loss = 0.2, .duplicate = 0.1, .reorder = 0.1, .delay = 0.02, .jitter = 0.03, .reorder_delay = 0.05, .seed = 7}},
    };
    for (const Case& c : cases) {
        capture.clear();
        ExchangeSettings settings;
        settings.network = c.network;
        settings.messages = 10000;
        settings.unreliable_every = 10;
        settings.time_limit = 600.0;
        const ExchangeResult r = run_exchange(settings, &clock);
        ASSERT_TRUE(r.connected) << c.why;
        EXPECT_EQ(r.delivered, 10000) << c.why;
        EXPECT_TRUE(r.in_order) << c.why;
        EXPECT_TRUE(r.done_received) << c.why;
        EXPECT_TRUE(r.client_usable && r.server_usable) << c.why;
        EXPECT_TRUE(r.unreliable_whole) << c.why;
        EXPECT_GT(r.unreliable_delivered, 0) << c.why;
        EXPECT_LE(r.unreliable_delivered, r.unreliable_sent) << c.why;
    }
}

} // namespace
