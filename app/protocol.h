// The program's side of the game-server protocol: socket events in, shell
// requests and CP932 bytes out (state::TMainState::Requests). Lines from the server
// are "world;code;fields…" ended by LF; messages to it start with the message
// prefix and carry no line end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/main_state.h"

namespace velmora::app {

// Longest line accepted from the server, without its LF.
inline constexpr std::size_t kMaxLineLength = 9999;

// Silence from the server, while a message is awaited, after which the log says so.
inline constexpr uint32_t kServerSilenceMs = 5000;

// Starts the login: the shell asks for the handle name first.
void StartLogin(state::TMainState& state);

// The login query's answer: a handle name, or nothing when cancelled. A name
// opens a new connection, which carries the login as soon as it stands.
void LoginAnswered(state::TMainState& state, const std::optional<std::string>& handle);

// The socket connected: the login goes out. now: synchronised clock (ms).
void ClientSocketConnect(state::TMainState& state, uint32_t now);

// Received bytes (CP932), processed line by line. A line that is longer than
// kMaxLineLength or holds a malformed field is dropped; the lines around it
// are processed as usual.
void ClientSocketRead(state::TMainState& state, std::string_view received, uint32_t now);

// The server closed the connection. Before the first positions the program
// stays open, says so in the log and asks for the handle again. In play, the
// run ends as left and the shell offers to log in again or to close
// (TShellRequests::ReloginBox). now: synchronised clock (ms).
void ClientSocketDisconnect(state::TMainState& state, uint32_t now);

// A socket error with the system's error number (errno), or 1000 plus the
// toolkit's own number where the system has none: a box naming the server
// and the reason, then the program closes; once a login has reached play,
// the box offers to log in again instead, as a lost connection does.
void ClientSocketError(state::TMainState& state, int errorCode, std::string_view host,
                       uint16_t port, uint32_t now);

// The answer to the box of a lost connection: again logs in anew with the
// same handle to the same server; otherwise the program closes.
void ReloginAnswered(state::TMainState& state, bool again);

// The reason of a socket error in words, Japanese.
std::string SocketErrorReason(int errorCode);

// The server has sent nothing for silentMs: while a message is awaited, after
// kServerSilenceMs the log says so, once until a message comes again.
void ServerSilence(state::TMainState& state, uint32_t silentMs);

// A missile hit as the server announces it in its chat:
// "<shooter>さんのミサイルが<target>さんに命中しました。" The protocol reads
// it once, where the line arrives: the hit's cue for the sound, and a hit on
// the own vehicle counted in TMainState::HitsOnOwn.
struct THitReport {
  std::string Shooter;  // handle, UTF-8
  std::string Target;   // handle, UTF-8
};
std::optional<THitReport> ParseHitReport(std::string_view text);

// Outgoing messages, each appended to the bytes to send.
void SendEmptyState(state::TMainState& state);          // "40;0;"
void SendOwnState(state::TMainState& state);            // code 40, or "40;0;" before placing
void SendMission(state::TMainState& state, int32_t missionNo);      // code 50
void SendShot(state::TMainState& state, int32_t targetUserNo);      // code 60
void SendChat(state::TMainState& state, std::string_view text);     // code 20

// A click on mission grid row `row`: the mission number to send after the
// 100 ms pause, or nothing for a heading or the empty last row.
std::optional<int32_t> MissionForRow(const state::TMainState& state, int32_t row);

// Whether train j stands close enough behind train i, facing the other way,
// to couple with it.
bool CouplingTest(const vehicle::TVehicleState& i, const vehicle::TVehicleState& j);

}  // namespace velmora::app
