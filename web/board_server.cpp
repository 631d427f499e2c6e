#include "web/board_server.h"

#include <chrono>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <random>

#include "web/game_session.h"
#include "web/page_assets.h"

namespace pentad::web {
namespace {

using nlohmann::json;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sendJson(httplib::Response &res, int status, const json &body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(), "application/json");
}

void refuse(httplib::Response &res, int status, const std::string &message) {
    sendJson(res, status, json{{"error", message}});
}

/// The request's body as a JSON object ("{}" when empty); false after answering 400.
bool readBody(const httplib::Request &req, httplib::Response &res, json &body) {
    if (req.body.empty()) {
        body = json::object();
        return true;
    }
    body = json::parse(req.body, nullptr, false);
    if (body.is_discarded()) {
        refuse(res, 400, "the body is not valid JSON");
        return false;
    }
    if (!body.is_object()) {
        refuse(res, 400, "the body must be a JSON object");
        return false;
    }
    return true;
}

/// An integer field in [low, high], or `fallback` when absent; false after answering 400.
bool intField(const json &body, const char *name, int low, int high, int fallback, int &value,
              httplib::Response &res) {
    value = fallback;
    if (!body.contains(name)) return true;
    const json &v = body[name];
    if (!v.is_number_integer() || v.get<int64_t>() < low || v.get<int64_t>() > high) {
        refuse(res, 400,
               std::string("\"") + name + "\" must be a whole number from " + std::to_string(low) +
                   " to " + std::to_string(high));
        return false;
    }
    value = v.get<int>();
    return true;
}

bool settingsFrom(const json &body, GameSettings base, GameSettings &settings,
                  httplib::Response &res) {
    settings = base;
    if (body.contains("engineSide")) {
        if (!body["engineSide"].is_string() ||
            !parseSide(body["engineSide"].get<std::string>(), settings.engineSide)) {
            refuse(res, 400, "\"engineSide\" must be \"black\", \"white\" or \"none\"");
            return false;
        }
    }
    return intField(body, "moveMs", MinMoveMs, MaxMoveMs, base.moveMs, settings.moveMs, res);
}

/// The game record in the body's "record" text; false after answering 400.
bool recordField(const json &body, GameRecord &record, httplib::Response &res) {
    if (!body["record"].is_string()) {
        refuse(res, 400, "\"record\" must be a string");
        return false;
    }
    std::string error;
    if (!GameRecord::parse(body["record"].get<std::string>(), record, error)) {
        refuse(res, 400, error);
        return false;
    }
    return true;
}

void answer(httplib::Response &res, const Refusal &refusal, GameSession &game) {
    if (refusal)
        refuse(res, refusal.status, refusal.message);
    else
        sendJson(res, 200, game.state());
}

} // namespace

BoardServer::BoardServer(ServerOptions options)
    : options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
    // Each event stream holds a thread for as long as the page is open.
    http_->new_task_queue = [] { return new httplib::ThreadPool(ServerThreads); };
    http_->set_payload_max_length(MaxBodyBytes);
    http_->set_keep_alive_max_count(100);
    routes();
}

BoardServer::~BoardServer() {
    stop();
    std::lock_guard lock(gamesMutex_);
    for (auto &[id, game] : games_)
        game->close();
    games_.clear();
}

bool BoardServer::bind(std::string &error) {
    if (options_.port == 0) {
        port_ = http_->bind_to_any_port(options_.host);
    } else {
        port_ = http_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    }
    if (port_ <= 0) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
                " (the port may be in use, or the address not this machine's)";
        return false;
    }
    return true;
}

void BoardServer::serve() { http_->listen_after_bind(); }

void BoardServer::stop() {
    if (http_->is_running()) http_->stop();
    std::lock_guard lock(gamesMutex_);
    for (auto &[id, game] : games_)
        game->close(); // ends the event streams
}

std::string BoardServer::newId() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(random() ^ ++idCounter_));
    return text;
}

std::shared_ptr<GameSession> BoardServer::find(const std::string &id) {
    std::lock_guard lock(gamesMutex_);
    auto it = games_.find(id);
    if (it == games_.end()) return nullptr;
    lastUse_[id] = nowMs();
    return it->second;
}

void BoardServer::routes() {
    httplib::Server &s = *http_;

    for (const PageAsset &asset : pageAssets()) {
        std::string path = asset.path;
        s.Get(path == "/index.html" ? "/" : path,
              [asset](const httplib::Request &, httplib::Response &res) {
                  res.set_header("Cache-Control", "no-cache");
                  res.set_content(asset.data, asset.size, asset.type);
              });
    }

    s.Post("/api/games", [this](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!readBody(req, res, body)) return;
        GameSettings settings;
        if (!settingsFrom(body, GameSettings{}, settings, res)) return;
        std::shared_ptr<GameSession> stale;
        std::shared_ptr<GameSession> game;
        {
            std::lock_guard lock(gamesMutex_);
            if (games_.size() >= MaxGames) {
                // The least recently used game makes room; its engine ends with it.
                auto oldest =
                    std::min_element(lastUse_.begin(), lastUse_.end(),
                                     [](auto &a, auto &b) { return a.second < b.second; });
                stale = games_[oldest->first];
                games_.erase(oldest->first);
                lastUse_.erase(oldest);
            }
            std::string id = newId();
            game = std::make_shared<GameSession>(id, options_.engineCommand, settings);
            games_[id] = game;
            lastUse_[id] = nowMs();
        }
        if (stale) stale->close();
        if (body.contains("record")) {
            GameRecord record;
            if (!recordField(body, record, res)) return;
            game->setUp(record);
        }
        sendJson(res, 201, game->state());
    });

    s.Get(R"(/api/games/([0-9a-f]+))", [this](const httplib::Request &req, httplib::Response &res) {
        auto game = find(req.matches[1]);
        if (!game) return refuse(res, 404, "no such game (the server may have restarted)");
        sendJson(res, 200, game->state());
    });

    s.Delete(R"(/api/games/([0-9a-f]+))",
             [this](const httplib::Request &req, httplib::Response &res) {
                 std::shared_ptr<GameSession> game;
                 {
                     std::lock_guard lock(gamesMutex_);
                     auto it = games_.find(req.matches[1]);
                     if (it == games_.end())
                         return refuse(res, 404, "no such game (the server may have restarted)");
                     game = it->second;
                     games_.erase(it);
                     lastUse_.erase(req.matches[1]);
                 }
                 game->close();
                 sendJson(res, 200, json{{"deleted", req.matches[1].str()}});
             });

    // Every game action: find the game, read the body, act.
    auto action = [this, &s](const char *name, auto act) {
        s.Post(std::string(R"(/api/games/([0-9a-f]+)/)") + name,
               [this, act](const httplib::Request &req, httplib::Response &res) {
                   auto game = find(req.matches[1]);
                   if (!game)
                       return refuse(res, 404, "no such game (the server may have restarted)");
                   json body;
                   if (!readBody(req, res, body)) return;
                   act(*game, body, res);
               });
    };

    action("move", [](GameSession &game, const json &body, httplib::Response &res) {
        int x = 0, y = 0;
        if (!body.contains("x") || !body.contains("y"))
            return refuse(res, 400, "a move needs \"x\" and \"y\"");
        // Off-board numbers are the game's to refuse, with the move named.
        if (!intField(body, "x", -1000, 1000, 0, x, res) ||
            !intField(body, "y", -1000, 1000, 0, y, res))
            return;
        answer(res, game.play({x, y}), game);
    });
    action("think", [](GameSession &game, const json &body, httplib::Response &res) {
        bool play = true;
        if (body.contains("play")) {
            if (!body["play"].is_boolean())
                return refuse(res, 400, "\"play\" must be true or false");
            play = body["play"].get<bool>();
        }
        answer(res, game.think(play), game);
    });
    action("stop", [](GameSession &game, const json &, httplib::Response &res) {
        answer(res, game.stop(), game);
    });
    action("undo", [](GameSession &game, const json &body, httplib::Response &res) {
        int count = 1;
        if (!intField(body, "count", 1, 400, 1, count, res)) return;
        answer(res, game.undo(count), game);
    });
    action("setup", [](GameSession &game, const json &body, httplib::Response &res) {
        GameRecord record;
        std::string error;
        if (body.contains("record")) {
            if (!recordField(body, record, res)) return;
        } else if (body.contains("moves")) {
            const json &moves = body["moves"];
            if (!moves.is_array()) return refuse(res, 400, "\"moves\" must be a list of [x, y]");
            for (const json &m : moves) {
                if (!m.is_array() || m.size() != 2 || !m[0].is_number_integer() ||
                    !m[1].is_number_integer())
                    return refuse(res, 400, "\"moves\" must be a list of [x, y]");
                int64_t x = m[0].get<int64_t>(), y = m[1].get<int64_t>();
                if (x < -1000 || x > 1000 || y < -1000 || y > 1000 ||
                    !record.play({int(x), int(y)}, error))
                    return refuse(res, 400,
                                  "move " + std::to_string(record.moves().size() + 1) + ": " +
                                      (error.empty() ? "off the board" : error));
            }
        } else {
            return refuse(res, 400,
                          "setup needs \"record\" (text) or \"moves\" (a list of [x, y])");
        }
        answer(res, game.setUp(record), game);
    });
    action("settings", [](GameSession &game, const json &body, httplib::Response &res) {
        GameSettings settings;
        if (!settingsFrom(body, game.settings(), settings, res)) return;
        answer(res, game.configure(settings), game);
    });

    s.Get(R"(/api/games/([0-9a-f]+)/record)", [this](const httplib::Request &req,
                                                     httplib::Response &res) {
        auto game = find(req.matches[1]);
        if (!game) return refuse(res, 404, "no such game (the server may have restarted)");
        std::string format = req.has_param("format") ? req.get_param_value("format") : "moves";
        const GameRecord record = game->record();
        if (format == "psq")
            res.set_content(record.psqText(), "text/plain");
        else if (format == "moves")
            res.set_content(record.moveListText() + "\n", "text/plain");
        else
            refuse(res, 400, "format must be \"moves\" or \"psq\"");
    });

    s.Get(R"(/api/games/([0-9a-f]+)/events)",
          [this](const httplib::Request &req, httplib::Response &res) {
              auto game = find(req.matches[1]);
              if (!game) return refuse(res, 404, "no such game (the server may have restarted)");
              {
                  std::lock_guard lock(gamesMutex_);
                  if (openStreams_ >= MaxEventStreams)
                      return refuse(res, 503,
                                    "too many pages are following games; close some and reload");
                  ++openStreams_;
              }
              auto cursor = std::make_shared<uint64_t>(game->subscribe());
              res.set_header("Cache-Control", "no-store");
              res.set_chunked_content_provider(
                  "text/event-stream",
                  [game, cursor](size_t, httplib::DataSink &sink) {
                      if (game->closing()) {
                          sink.done();
                          return true;
                      }
                      std::string event = game->nextEvent(*cursor, 10000);
                      // A comment keeps idle connections open and finds closed pages.
                      if (event.empty()) event = ": waiting\n\n";
                      return sink.write(event.data(), event.size());
                  },
                  [this](bool) {
                      std::lock_guard lock(gamesMutex_);
                      --openStreams_;
                  });
          });

    s.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty()) return;
        const char *message = res.status == 413   ? "the request body is too large"
                              : res.status == 404 ? "no such page or API call"
                                                  : "the request was refused";
        refuse(res, res.status, message);
    });
    s.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr ep) {
            std::string what = "internal error";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception &e) {
                what = std::string("internal error: ") + e.what();
            } catch (...) {
            }
            refuse(res, 500, what);
        });
}

} // namespace pentad::web
