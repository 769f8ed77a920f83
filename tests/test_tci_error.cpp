// The sentences that say who ended a TCI link.
#include "tci_error.h"

#include <gtest/gtest.h>

TEST(TciError, ACloseIsTheClientsOwnOnlyWithTheWebSocketLayersReasonALostLinkSaysWhy)
{
    EXPECT_EQ(tci_close_text(1007, "Invalid UTF-8 code encountered."),
              "the client closed the connection because the server sent text that is not valid UTF-8 (code 1007)");
    EXPECT_EQ(tci_close_text(1002, "Invalid opcode detected: 5"),
              "the client closed the connection because the server broke the WebSocket protocol (code 1002)");
    EXPECT_EQ(tci_close_text(1007, ""), "the server closed the connection (code 1007)");
    EXPECT_EQ(tci_close_text(1001, "restart"), "the server closed the connection (code 1001): restart");
    EXPECT_TRUE(tci_close_is_clients_own("Received message is too big."));
    EXPECT_FALSE(tci_close_is_clients_own("Invalid UTF-8"));  // a server's own words
    // Lost links and silent servers.
    EXPECT_EQ(tci_lost_text("The remote host closed the connection"),
              "the connection was lost: The remote host closed the connection");
    EXPECT_EQ(tci_lost_text(""), "the connection was lost");
    EXPECT_EQ(tci_no_answer_text("127.0.0.1", 50001), "no answer from the TCI server at 127.0.0.1:50001");
}
