#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

#include "web/board_server.h"
#include "web/game_record.h"
#include "web/game_session.h"

namespace pentad::web {
namespace {

using nlohmann::json;

TEST(BoardRecord, FivesAndLongerLinesEndTheGameAndUndoReopensIt) {
    GameRecord r;
    std::string error;
    // Black builds 5,5 .. 9,5 with a gap closed last; white plays elsewhere.
    for (Point p : {Point{5, 5}, Point{0, 0}, Point{6, 5}, Point{0, 1}, Point{8, 5}, Point{0, 2},
                    Point{9, 5}, Point{0, 3}})
        ASSERT_TRUE(r.play(p, error)) << error;
    EXPECT_EQ(r.outcome(), Outcome::Playing);
    ASSERT_TRUE(r.play({7, 5}, error));
    EXPECT_EQ(r.outcome(), Outcome::BlackWon);
    EXPECT_EQ(r.winLine().size(), 5u);
    EXPECT_FALSE(r.play({1, 1}, error));
    EXPECT_EQ(error, "the game is over");
    r.undo(1);
    EXPECT_EQ(r.outcome(), Outcome::Playing);
    // Six in a row wins too (free style): white's column 0 made of six on a diagonal-free line.
    ASSERT_TRUE(r.play({10, 10}, error));
    ASSERT_TRUE(r.play({0, 5}, error)); // white 0,0..0,3 and 0,5
    ASSERT_TRUE(r.play({11, 12}, error));
    ASSERT_TRUE(r.play({0, 4}, error));
    EXPECT_EQ(r.outcome(), Outcome::WhiteWon);
    EXPECT_EQ(r.winLine().size(), 6u);
    EXPECT_FALSE(r.play({20, 0}, error));
}

TEST(BoardRecord, BothFormatsRoundTripAndBadItemsAreNamed) {
    GameRecord r;
    std::string error;
    ASSERT_TRUE(GameRecord::parse("10,10 11,11\n9,9;0,19", r, error)) << error;
    EXPECT_EQ(r.moveListText(), "10,10 11,11 9,9 0,19");
    GameRecord back;
    ASSERT_TRUE(GameRecord::parse(r.psqText(), back, error)) << error;
    EXPECT_EQ(back.moves(), r.moves());
    EXPECT_TRUE(r.psqText().starts_with("Piskvorky 20x20, 11:11, 0\n11,11,0\n12,12,0\n"));
    // A .psq record ends its moves at the first other line (the managers append names).
    ASSERT_TRUE(
        GameRecord::parse("Piskvorky 20x20, 11:11, 0\n1,1,5\n20,20,7\n-1\nengine.exe\n", r, error));
    EXPECT_EQ(r.moveListText(), "0,0 19,19");
    ASSERT_TRUE(GameRecord::parse("  \n", r, error));
    EXPECT_TRUE(r.moves().empty());

    struct Bad {
        const char *text, *message;
    } cases[] = {
        {"10,10 10,10", "move 2: move 10,10 is on a stone"},
        {"10,10 20,3", "move 2: move 20,3 is off the board"},
        {"10,10 K11", "item 2 (\"K11\") is not a move"},
        {"1,2,3", "item 1 (\"1,2,3\") is not a move"},
        {"99999999999,1", "item 1"},
        {"Piskvorky 15x15, 11:11, 0\n1,1,0\n", "only 20x20 games can be read"},
        {"Piskvorky 20x20, 11:11, 0\n0,1,0\n", "move 1: move -1,0 is off the board"},
    };
    for (const Bad &b : cases) {
        EXPECT_FALSE(GameRecord::parse(b.text, r, error)) << b.text;
        EXPECT_TRUE(error.starts_with(b.message)) << b.text << " -> " << error;
    }
}

TEST(BoardRecord, ReadingsOfBothSearchesAreParsed) {
    Reading r;
    ASSERT_TRUE(
        parseReading("MESSAGE depth 7-12 nodes 1200 nps 50000 value 600 line 10,9 11,11", true, r));
    EXPECT_EQ(r.depth, "7-12");
    EXPECT_EQ(r.nodes, 1200);
    EXPECT_NEAR(r.blackShare, 0.731, 0.001);
    EXPECT_EQ(r.line, (std::vector<Point>{{10, 9}, {11, 11}}));
    // White to move and winning: black's share is nothing.
    ASSERT_TRUE(parseReading("MESSAGE depth 3-5 nodes 9 nps 1 value win in 3 line 1,1", false, r));
    EXPECT_EQ(r.value, "win in 3");
    EXPECT_EQ(r.blackShare, 0.0);
    ASSERT_TRUE(parseReading(
        "MESSAGE level 2 nodes 5 nps 250 value -32000 line 10,9 12,11 | mode x", true, r));
    EXPECT_EQ(r.blackShare, 0.0);
    EXPECT_EQ(r.line.size(), 2u);
    EXPECT_FALSE(parseReading("MESSAGE REALTIME BEST 10,9", true, r));
    EXPECT_FALSE(parseReading("MESSAGE depth 3 nodes 9 value many line 1,1", true, r));
    EXPECT_FALSE(parseReading("MESSAGE depth 3 nodes 9 line 1,1", true, r));
}

// A server on a free port of this machine, with a client for it.
struct Served {
    BoardServer server;
    std::thread thread;
    std::unique_ptr<httplib::Client> client;

    explicit Served(std::vector<std::string> engine)
        : server(ServerOptions{"127.0.0.1", 0, std::move(engine)}) {
        std::string error;
        EXPECT_TRUE(server.bind(error)) << error;
        thread = std::thread([this] { server.serve(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
        client->set_read_timeout(30, 0);
    }
    ~Served() {
        server.stop();
        thread.join();
    }
    std::pair<int, json> post(const std::string &path, const std::string &body) {
        auto res = client->Post(path.c_str(), body, "application/json");
        if (!res) return {0, json()};
        return {res->status, json::parse(res->body, nullptr, false)};
    }
    json get(const std::string &path) {
        auto res = client->Get(path.c_str());
        return res ? json::parse(res->body, nullptr, false) : json();
    }
    /// Polls the game until `done` holds or 30 s pass.
    template <class F> json waitFor(const std::string &id, F done) {
        for (int i = 0; i < 600; ++i) {
            json s = get("/api/games/" + id);
            if (done(s)) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return get("/api/games/" + id);
    }
};

std::vector<std::string> pbrainCommand() { return {PENTAD_PBRAIN_BINARY}; }

TEST(BoardServer, BadRequestsGetAClearRefusalAndTheGameIsKept) {
    Served s(pbrainCommand());
    auto [created, game] = s.post("/api/games", R"({"engineSide":"none","record":"10,10 11,11"})");
    ASSERT_EQ(created, 201);
    const std::string id = game["id"], base = "/api/games/" + id;
    struct Case {
        std::string path, body;
        int status;
        const char *message;
    } cases[] = {
        {base + "/move", R"({"x":10,"y":10})", 400, "move 10,10 is on a stone"},
        {base + "/move", R"({"x":20,"y":0})", 400, "move 20,0 is off the board"},
        {base + "/move", R"({"x":-1,"y":3})", 400, "move -1,3 is off the board"},
        {base + "/move", R"({"x":1e9,"y":3})", 400,
         "\"x\" must be a whole number from -1000 to 1000"},
        {base + "/move", R"({"x":1})", 400, "a move needs \"x\" and \"y\""},
        {base + "/move", R"({"x":1,)", 400, "the body is not valid JSON"},
        {base + "/move", R"([1,2])", 400, "the body must be a JSON object"},
        {base + "/undo", R"({"count":0})", 400, "\"count\" must be a whole number from 1 to 400"},
        {base + "/setup", R"({"moves":[[1,1],[1,1]]})", 400, "move 2: move 1,1 is on a stone"},
        {base + "/setup", R"({"moves":"1,1"})", 400, "\"moves\" must be a list of [x, y]"},
        {base + "/setup", R"({"record":"10,10 zz"})", 400, "item 2 (\"zz\") is not a move"},
        {base + "/settings", R"({"engineSide":"red"})", 400,
         "\"engineSide\" must be \"black\", \"white\" or \"none\""},
        {base + "/settings", R"({"moveMs":5})", 400,
         "\"moveMs\" must be a whole number from 100 to 60000"},
        {base + "/stop", "", 409, "the engine is not thinking"},
        {"/api/games/00aa/move", R"({"x":1,"y":1})", 404,
         "no such game (the server may have restarted)"},
        {"/api/games", R"({"engineSide":7})", 400,
         "\"engineSide\" must be \"black\", \"white\" or \"none\""},
        {"/api/nothing", "{}", 404, "no such page or API call"},
        {base + "/move", std::string(MaxBodyBytes + 10, ' '), 413, "the request body is too large"},
    };
    for (const Case &c : cases) {
        auto [status, body] = s.post(c.path, c.body);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body.substr(0, 40);
        EXPECT_TRUE(body.value("error", "").starts_with(c.message))
            << c.path << " " << c.body.substr(0, 40) << " -> " << body.dump();
    }
    json state = s.get(base);
    EXPECT_EQ(state["moves"], json::parse("[[10,10],[11,11]]"));

    // A finished game refuses moves; undo reopens it.
    auto [won, end] =
        s.post(base + "/setup", R"({"record":"0,0 0,1 1,0 1,1 2,0 2,1 3,0 3,1 4,0"})");
    ASSERT_EQ(won, 200);
    EXPECT_EQ(end["outcome"], "black");
    EXPECT_EQ(s.post(base + "/move", R"({"x":9,"y":9})").first, 409);
    EXPECT_EQ(s.post(base + "/think", "{}").first, 409);
    EXPECT_EQ(s.post(base + "/undo", "{}").second["outcome"], "playing");
    auto psq = s.client->Get((base + "/record?format=psq").c_str());
    ASSERT_TRUE(psq);
    EXPECT_TRUE(psq->body.starts_with("Piskvorky 20x20, 11:11, 0\n1,1,0\n1,2,0\n"));
}

TEST(BoardServer, TheEngineAnswersStreamsItsReadingAndCanBeStoppedOrCancelled) {
    Served s(pbrainCommand());
    auto [created, game] = s.post("/api/games", R"({"engineSide":"white","moveMs":300})");
    ASSERT_EQ(created, 201);
    const std::string id = game["id"], base = "/api/games/" + id;

    // The event stream: the state first, then the readings and the answer.
    std::string stream;
    std::thread follower([&] {
        httplib::Client c("127.0.0.1", s.server.port());
        c.set_read_timeout(20, 0);
        c.Get((base + "/events").c_str(), [&](const char *data, size_t n) {
            stream.append(data, n);
            return stream.find("[[10,10],[") == std::string::npos; // until the answer
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto [moved, afterMove] = s.post(base + "/move", R"({"x":10,"y":10})");
    ASSERT_EQ(moved, 200);
    EXPECT_TRUE(afterMove["thinking"].get<bool>());
    EXPECT_EQ(s.post(base + "/move", R"({"x":3,"y":3})").first, 409); // not while it thinks
    json answered = s.waitFor(id, [](const json &j) { return j["moves"].size() == 2; });
    follower.join();
    EXPECT_EQ(answered["toMove"], "black");
    EXPECT_FALSE(answered["thinking"].get<bool>());
    EXPECT_FALSE(answered["reading"].is_null());
    // The page keeps the newest state by its version, whatever order they reach it in.
    EXPECT_GT(answered["version"].get<uint64_t>(), afterMove["version"].get<uint64_t>());
    EXPECT_NE(stream.find("event: state"), std::string::npos);
    EXPECT_NE(stream.find("event: reading"), std::string::npos);

    // Stop: a long think answers at once with the best move so far.
    ASSERT_EQ(s.post(base + "/settings", R"({"moveMs":30000})").first, 200);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(s.post(base + "/move", R"({"x":12,"y":12})").first, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(s.post(base + "/stop", "{}").first, 200);
    json stopped = s.waitFor(id, [](const json &j) { return j["moves"].size() == 4; });
    EXPECT_EQ(stopped["moves"].size(), 4u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // Undo while it thinks: the search's answer is dropped when it comes.
    ASSERT_EQ(s.post(base + "/move", R"({"x":13,"y":13})").first, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto [undone, afterUndo] = s.post(base + "/undo", "{}");
    ASSERT_EQ(undone, 200);
    EXPECT_FALSE(afterUndo["thinking"].get<bool>());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(s.get(base)["moves"].size(), 4u);

    // Asked to move on the player's turn, the engine plays it and then answers itself.
    ASSERT_EQ(s.post(base + "/settings", R"({"moveMs":200})").first, 200);
    ASSERT_EQ(s.post(base + "/think", "{}").first, 200);
    json both = s.waitFor(
        id, [](const json &j) { return j["moves"].size() == 6 && !j["thinking"].get<bool>(); });
    EXPECT_EQ(both["moves"].size(), 6u);
    EXPECT_EQ(both["toMove"], "black");

    // A reading-only search marks its move without playing it.
    ASSERT_EQ(s.post(base + "/settings", R"({"moveMs":200,"engineSide":"none"})").first, 200);
    ASSERT_EQ(s.post(base + "/think", R"({"play":false})").first, 200);
    json hinted = s.waitFor(id, [](const json &j) { return !j["bestMove"].is_null(); });
    EXPECT_EQ(hinted["moves"].size(), 6u);
    EXPECT_FALSE(hinted["bestMove"].is_null());
}

TEST(BoardServer, AnEngineThatFailsIsReportedAndTheServerGoesOn) {
    Served s({"/bin/false"});
    auto [created, game] = s.post("/api/games", R"({"engineSide":"black","moveMs":200})");
    ASSERT_EQ(created, 201);
    const std::string base = "/api/games/" + game["id"].get<std::string>();
    json failed = s.waitFor(game["id"], [](const json &j) { return !j["engineError"].is_null(); });
    EXPECT_TRUE(failed["engineError"].get<std::string>().starts_with("the engine ended"))
        << failed.dump();
    EXPECT_FALSE(failed["thinking"].get<bool>());
    // The game itself is intact: a player can still move and take back.
    EXPECT_EQ(s.post(base + "/move", R"({"x":9,"y":9})").first, 200);
    EXPECT_EQ(s.post(base + "/undo", "{}").first, 200);
    EXPECT_EQ(s.post("/api/games", "{}").first, 201);
}

// Engines that misbehave after starting: the page is told what they did and the game stays.
TEST(BoardServer, AnEngineAnsweringNonsenseIsStoppedAndNamed) {
    const std::string dir = ::testing::TempDir();
    struct Fake {
        const char *name, *answer, *message;
    } fakes[] = {
        {"illegal", "10,10", "the engine answered 10,10, which is not a legal move"},
        {"refusing", "ERROR no thanks", "the engine refused the position: ERROR no thanks"},
    };
    for (const Fake &f : fakes) {
        const std::string path = dir + "/fake-" + f.name + ".sh";
        {
            std::ofstream script(path);
            // Answers START and ABOUT, then gives its one answer to every board.
            script << "#!/bin/sh\nwhile read -r line; do case \"$line\" in\n"
                   << "START*) echo OK;;\nABOUT) echo 'name=\"fake\"';;\n"
                   << "DONE) echo '" << f.answer << "';;\nesac; done\n";
        }
        ::chmod(path.c_str(), 0755);
        Served s({path});
        auto [created, game] = s.post("/api/games", R"({"engineSide":"white","moveMs":200})");
        ASSERT_EQ(created, 201);
        const std::string id = game["id"], base = "/api/games/" + id;
        ASSERT_EQ(s.post(base + "/move", R"({"x":10,"y":10})").first, 200);
        json failed = s.waitFor(id, [](const json &j) { return !j["engineError"].is_null(); });
        EXPECT_TRUE(failed["engineError"].get<std::string>().starts_with(f.message))
            << failed.dump();
        EXPECT_EQ(failed["moves"], json::parse("[[10,10]]"));
        EXPECT_FALSE(failed["thinking"].get<bool>());
        EXPECT_EQ(failed["engineName"], "fake");
    }
}

} // namespace
} // namespace pentad::web
