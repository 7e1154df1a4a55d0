// Reading a response: field lookup, the configuration and reach-out
// sections, and the ping and test-connection messages built on them.

#include <gtest/gtest.h>

#include "MessageTestSupport.h"
#include "config/ConfigFile.h"
#include "messages/ZEBPingMessage.h"
#include "messages/ZEBTestConnMessage.h"

namespace zebtest {
namespace {

using Lines = std::vector<std::string>;

TEST(MessageReaders, FindValueAndSplitField) {
    MessageEnv env;
    ProbeMessage m(&env.context);
    std::string key, value = "untouched";
    EXPECT_FALSE(m.findValue("STATUS:", value));  // no lines
    m.lines() = {"XSTATUS:no", "STATUS:", "STATUS:second"};
    EXPECT_FALSE(m.findValue("", value));
    EXPECT_FALSE(m.findValue("TYPE:", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(m.findValue("STATUS:", value));
    EXPECT_EQ(value, "");

    EXPECT_FALSE(ProbeMessage::splitField("NOCOLON", key, value));
    EXPECT_FALSE(ProbeMessage::splitField(":VALUE", key, value));
    EXPECT_TRUE(ProbeMessage::splitField("URL:host:80/x", key, value));
    EXPECT_EQ(key + "|" + value, "URL:|host:80/x");
    EXPECT_TRUE(ProbeMessage::splitField("K:", key, value));
    EXPECT_EQ(key + "|" + value, "K:|");
}

TEST(MessageReaders, ConfigSectionIsAppliedAndSaved) {
    MessageEnv env;
    ConfigFile& file = env.config->file();
    ASSERT_TRUE(file.setClientID("CLIENT7"));
    ProbeMessage m(&env.context);
    m.lines() = {"FEATLISTLIMIT:5",
                 "****CONFIG",
                 "AUTOSYNCTIMETHRESHOLD:42",
                 "NOT A FIELD",
                 "UNKNOWNKEY:1",
                 "CONFIGVERSION:9",
                 "****REACHOUT",
                 "MANUALSYNCTIMETHRESHOLD:77"};
    const uint32_t limit = file.getFeatureListLimit();
    const uint32_t manual = file.getManualSyncTimeThreshold();
    EXPECT_TRUE(m.applyConfig());
    EXPECT_EQ(file.getAutoSyncTimeThreshold(), 42u);
    EXPECT_EQ(file.getConfigVersion(), "9");
    EXPECT_EQ(file.getFeatureListLimit(), limit);          // before the section
    EXPECT_EQ(file.getManualSyncTimeThreshold(), manual);  // after it
    ConfigFile reloaded(&env.settings, env.dir.path(), "0123456789", "App");
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.getAutoSyncTimeThreshold(), 42u);

    // A section closed at once applies nothing and still counts as found.
    m.lines() = {"****CONFIG", "****REACHOUT", "AUTOSYNCTIMETHRESHOLD:43"};
    EXPECT_TRUE(m.applyConfigSection(file));
    m.lines() = {"STATUS:OK", "AUTOSYNCTIMETHRESHOLD:44"};
    EXPECT_FALSE(m.applyConfig());
    EXPECT_EQ(file.getAutoSyncTimeThreshold(), 42u);
}

TEST(MessageReaders, ReachOutNeedsThreeValidFieldsAndNothingElse) {
    MessageEnv env;
    ProbeMessage m(&env.context);
    ReachOutMessage out;
    m.lines() = {"STATUS:OK",
                 "****REACHOUT",
                 "DIMENSIONS:400x300",
                 "SCREENPOSITION:3",
                 "MESSAGECONTENT:Hi: there",
                 "****CONFIG",
                 "OTHER:1"};
    ASSERT_TRUE(m.parseReachOut(out));
    EXPECT_EQ(out, (ReachOutMessage{"400", "300", 3, "Hi: there"}));
    // Width and height are the texts either side of the first "x".
    m.lines() = {"****REACHOUT", "DIMENSIONS:1xx2", "SCREENPOSITION: -4 px", "MESSAGECONTENT:"};
    ASSERT_TRUE(m.parseReachOut(out));
    EXPECT_EQ(out, (ReachOutMessage{"1", "x2", -4, ""}));

    const std::string d = "DIMENSIONS:4x3", p = "SCREENPOSITION:1", c = "MESSAGECONTENT:m";
    const std::vector<Lines> broken = {
        {d, p, c},  // no section
        {"****REACHOUT", "DIMENSIONS:x3", p, c},
        {"****REACHOUT", "DIMENSIONS:4x", p, c},
        {"****REACHOUT", "DIMENSIONS:x", p, c},
        {"****REACHOUT", "DIMENSIONS:1x", p, c},
        {"****REACHOUT", "DIMENSIONS:x1", p, c},
        {"****REACHOUT", "DIMENSIONS:43", p, c},
        {"****REACHOUT", d, "SCREENPOSITION:top", c},
        {"****REACHOUT", d, "SCREENPOSITION:99999999999", c},
        {"****REACHOUT", d, p, c, "COLOUR:red"},
        {"****REACHOUT", d, p, c, "free text"},
        {"****REACHOUT", p, c},
        {"****REACHOUT", d, c},
        {"****REACHOUT", d, p, "****END", c},
    };
    for (const Lines& lines : broken) {
        m.lines() = lines;
        ReachOutMessage kept{"w", "h", 9, "c"};
        EXPECT_FALSE(m.parseReachOut(kept)) << join(lines, "|");
        EXPECT_EQ(kept, (ReachOutMessage{"w", "h", 9, "c"}));
    }
}

TEST(PingMessage, SendsFingerprintsWithIdentityAndNeedsStatusOk) {
    MessageEnv env(1);
    env.config->file().setClientID("CLIENT7");
    FakeServer server;
    server.steps = {FakeServer::answer("STATUS:OK\n****CONFIG\nAUTOSYNCTIMETHRESHOLD:55\n")};
    Scripted<ZEBPing> ping(server, &env.context, "FP1:AAA\nFP2:BBB");
    ASSERT_TRUE(ping.exchange());
    EXPECT_EQ(ping.getStatus(), 7u);
    std::string text;
    ASSERT_TRUE(isSignedEnvelope(FakeServer::plainText(server.requests[0]), text));
    EXPECT_NE(text.find("TYPE:ping\nPRODUCTID:0123456789\nCLIENTID:CLIENT7\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 16), "FP1:AAA\nFP2:BBB\n");
    EXPECT_EQ(env.config->file().getAutoSyncTimeThreshold(), 55u);
    EXPECT_EQ(env.config->file().getFileState(), ConfigFile::kStateInSync);

    for (const char* answer : {"STATUS:ok\n", "STATUS:OKAY\n", "COUNT:1\n"}) {
        server.steps = {FakeServer::answer(answer)};
        Scripted<ZEBPing> refused(server, &env.context, "");
        EXPECT_FALSE(refused.exchange()) << answer;
        EXPECT_EQ(refused.getStatus(), 6u) << answer;
    }
}

TEST(TestConnMessage, StatusGivesTheTwoFlags) {
    struct Case {
        const char* answer;
        bool ok, productValid, urlMatches;
    };
    for (const Case& c :
         {Case{"STATUS:OK\n", true, true, true}, Case{"STATUS:INVALIDPROD\n", true, false, false},
          Case{"STATUS:URLMISMATCH\n", true, true, false},
          Case{"STATUS:MAYBE\n", false, false, false}, Case{"CLIENTID:1\n", false, false, false},
          Case{"STATUS:VERIFICATIONERROR\n", false, false, false}}) {
        MessageEnv env(3);
        FakeServer server;
        server.steps = {FakeServer::answer(c.answer)};
        Scripted<ZEBTestConnection> test(server, &env.context);
        EXPECT_EQ(test.exchange(), c.ok) << c.answer;
        EXPECT_EQ(test.getStatus(), c.ok ? 7u : 6u) << c.answer;
        EXPECT_EQ(test.isProductValid(), c.productValid) << c.answer;
        EXPECT_EQ(test.isUrlMatching(), c.urlMatches) << c.answer;
        std::string text;
        ASSERT_TRUE(isSignedEnvelope(server.requests[0].body, text));
        EXPECT_TRUE(startsWith(text, "****REQUESTINFO\nTYPE:testconn\n"));
        EXPECT_EQ(text.find("CLIENTID:"), std::string::npos);
    }
}

}  // namespace
}  // namespace zebtest
