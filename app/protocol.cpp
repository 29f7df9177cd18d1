#include "app/protocol.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "app/reset.h"
#include "app/run_figures.h"
#include "net/field_reader.h"
#include "net/host_port.h"
#include "net/text_encoding.h"
#include "physics/railway.h"
#include "vehicle/geometry.h"
#include "vehicle/range_fault.h"

namespace velmora::app {
namespace {

using net::Cp932ToUtf8;
using net::FieldReader;
using net::TextConversion;
using net::Utf8ToCp932;
using state::TLoginStage;
using state::TMainState;
using vehicle::TVehicleState;

constexpr int32_t kRecordingMode = 6;
constexpr int kMaxRemoteVehicles = vehicle::kRemoteSlots - 1;

// A field failed to convert: the rest of the line is dropped.
struct MalformedLine {};

int32_t Integer(FieldReader& reader) {
  const auto value = reader.ReadInteger();
  if (!value) throw MalformedLine{};
  return *value;
}

double Float(FieldReader& reader) {
  const auto value = reader.ReadFloat();
  if (!value) throw MalformedLine{};
  return *value;
}

std::string Utf8(std::string_view cp932) { return Cp932ToUtf8(cp932).Text; }

// UTF-8 to CP932 for the wire; a character CP932 lacks becomes "?".
std::string ToWire(std::string_view utf8) {
  std::string out;
  while (!utf8.empty()) {
    TextConversion part = Utf8ToCp932(utf8);
    out += part.Text;
    if (part.Ok) break;
    out += '?';
    // Skip the one UTF-8 character that failed.
    std::size_t skip = part.ErrorOffset + 1;
    while (skip < utf8.size() && (static_cast<unsigned char>(utf8[skip]) & 0xC0) == 0x80) ++skip;
    utf8.remove_prefix(std::min(skip, utf8.size()));
  }
  return out;
}

void Send(state::TMainState& s, std::string_view text) {
  s.Requests.Send += ToWire(s.MessagePrefix);
  s.Requests.Send += ToWire(text);
}

std::string WithoutTabs(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\t', ' ');
  return out;
}

bool InPlayback(const state::TMainState& s) { return s.ReplayMode != 0 && s.ReplayMode != kRecordingMode; }


void SendLogin(state::TMainState& s, const std::string& handle, uint32_t now) {
  s.LastSendTime = now;
  s.ViewRefreshTime = now;
  s.Own.Time = static_cast<int32_t>(now);
  Send(s, "30;guest\ttovel\t" + std::to_string(static_cast<int32_t>(now)) + ";" +
              WithoutTabs(handle));
}

// Code 0: the mission grid.
void MissionList(state::TMainState& s, FieldReader& reader) {
  const int32_t fixedRows = Integer(reader);
  int32_t rows = 0;
  while (!reader.Rest().empty() && reader.Rest().front() != '\n' && rows < state::kMissionRows - 1) {
    s.MissionCells[static_cast<std::size_t>(rows)] = " " + Utf8(reader.ReadText());
    ++rows;
  }
  s.MissionCells[static_cast<std::size_t>(rows)].clear();
  s.MissionRowCount = rows + 1;
  s.MissionFixedRows = std::clamp(fixedRows, 0, rows);
  s.MissionRow = rows;
  s.Requests.FocusChatInput = true;
}

// Drops the connection of a login that did not get through and asks for the
// handle again; the answer connects anew.
void AskAgain(state::TMainState& s) {
  s.LoginStage = TLoginStage::Asking;
  s.Requests.DropConnection = true;
  s.Requests.AskLogin = true;
}

// Code 10: the server refused; ask again while not logged in.
void Refusal(state::TMainState& s, FieldReader& reader) {
  s.Requests.ErrorBoxes.push_back(Utf8(reader.ReadText()));
  if (s.Own.UserNo == 0) AskAgain(s);
}

// Code 30: logged in.
void LoginAccepted(state::TMainState& s, FieldReader& reader) {
  const int32_t userNo = Integer(reader);
  const int32_t roomNo = Integer(reader);
  s.Requests.ShowHelpBottomRight = true;
  s.Own.UserNo = userNo;
  s.RoomNo = roomNo;
  s.LoginStage = TLoginStage::LoggedIn;
  s.Requests.FocusChatInput = true;
  SendEmptyState(s);
}

// Moves the synchronised clock forward by the average lag of the last 16
// position messages; the first message sets the offsets.
void SynchroniseClock(state::TMainState& s, int32_t serverTime, uint32_t now) {
  const auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
  if (s.TimeSynchronised == 0) {
    s.OffsetA = wrap(static_cast<int64_t>(now) - serverTime);
    s.OffsetB = wrap(static_cast<int64_t>(s.OffsetA) + serverTime - s.Own.Time);
    s.ClockCorrection = 0;
    s.DriftSamples.fill(0);
    return;
  }
  s.DriftSamples[state::kDriftSamples - 1] =
      wrap(static_cast<int64_t>(s.OffsetA) + serverTime - static_cast<int64_t>(now));
  int64_t sum = 0;
  for (int32_t sample : s.DriftSamples) sum += sample;
  int64_t average = sum / state::kDriftSamples;  // truncated towards zero
  if (average < 0) average = 0;                // the clock never goes back
  average = std::min<int64_t>(average, INT32_MAX);
  s.ClockCorrection += static_cast<uint32_t>(average);
  for (int k = 0; k < state::kDriftSamples - 1; ++k) {
    s.DriftSamples[static_cast<std::size_t>(k)] =
        wrap(static_cast<int64_t>(s.DriftSamples[static_cast<std::size_t>(k) + 1]) - average);
  }
  s.DriftSamples[state::kDriftSamples - 1] = 0;
}

// One vehicle record of code 40 as received.
struct TReceivedRecord {
  int32_t UserNo, GroupNo, Kind, FormNo;
  double X, Y, Z;  // cm, absolute
  int32_t Heading, Pitch, Bank, Flap, VX, VY, VZ;  // hundredths
  int32_t Age;     // ms
};

TReceivedRecord ReadRecord(FieldReader& reader, int32_t userNo) {
  TReceivedRecord r{};
  r.UserNo = userNo;
  r.GroupNo = Integer(reader);
  r.Kind = Integer(reader);
  r.FormNo = Integer(reader);
  r.X = Float(reader);
  r.Y = Float(reader);
  r.Z = Float(reader);
  r.Heading = Integer(reader);
  r.Pitch = Integer(reader);
  r.Bank = Integer(reader);
  r.Flap = Integer(reader);
  r.VX = Integer(reader);
  r.VY = Integer(reader);
  r.VZ = Integer(reader);
  r.Age = Integer(reader);
  return r;
}

// Positions further from the origin than this lie on a grid coarser than a
// centimetre (30 significant bits), and no world reaches that far.
constexpr double kGridReach = 8388608;  // m, 2^23
constexpr double kSubStep = 0.01;       // s, the longest step of the tick

// Whether the own vehicle can be placed as the record says: every value a
// finite number, the position within the grid's reach, and one sub-step at
// its velocity still on the grid.
bool OwnRecordUsable(const TReceivedRecord& r) {
  const double position[] = {r.X / 100, r.Y / 100, r.Z / 100};
  const double velocity[] = {r.VX / 100.0, r.VY / 100.0, r.VZ / 100.0};
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(position[axis]) || std::fabs(position[axis]) >= kGridReach) return false;
    try {
      vehicle::FixedGridAdd(position[axis], velocity[axis] * kSubStep);
    } catch (const vehicle::RangeFault&) {
      return false;
    }
  }
  return true;
}

void Fill(TVehicleState& v, const TReceivedRecord& r, const state::TMainState& s, uint32_t baseTime) {
  v.UserNo = r.UserNo;
  v.GroupNo = r.GroupNo;
  v.Kind = r.Kind;
  v.FormNo = r.FormNo;
  v.X = (r.X - s.OriginX * 100) / 100;
  v.Y = (r.Y - s.OriginY * 100) / 100;
  v.Z = r.Z / 100;
  v.Heading = static_cast<float>(r.Heading / 100.0);
  v.Pitch = static_cast<float>(r.Pitch / 100.0);
  v.Bank = static_cast<float>(r.Bank / 100.0);
  v.Flap = r.Flap / 100.0;
  v.VX = r.VX / 100.0;
  v.VY = r.VY / 100.0;
  v.VZ = r.VZ / 100.0;
  v.Time = static_cast<int32_t>(baseTime - static_cast<uint32_t>(r.Age));
  v.Missed = 0;
  v.Steps = 0;
}

// Where a received record goes; Scratch when it is not kept. Sets ownArrived
// for the own user's record.
TVehicleState& TargetOf(state::TMainState& s, const TReceivedRecord& r, bool& ownArrived) {
  if (r.UserNo == s.Own.UserNo) {
    // The own vehicle may end its run with type 0; a type the installation
    // does not know is not a vehicle this program can draw or move.
    if (r.FormNo != 0 && !s.Forms.IsLoaded(r.FormNo)) return s.Scratch;
    s.OriginX = 0;
    s.OriginY = 0;
    ownArrived = true;
    if (InPlayback(s)) {
      physics::ClearTrackMarks(s);
      s.Remote[0].UserNo = 0;
      s.VideoRowCount = state::kVideoRowsLive;  // no camera row outside playback
    }
    s.ReplayMode = 0;
    return s.Own;
  }
  if (InPlayback(s) || !s.Forms.IsLoaded(r.FormNo)) return s.Scratch;
  int slot = 0;
  while (slot < vehicle::kRemoteSlots && s.Remote[static_cast<std::size_t>(slot)].UserNo != r.UserNo &&
         s.Remote[static_cast<std::size_t>(slot)].UserNo != 0) {
    ++slot;
  }
  if (slot >= kMaxRemoteVehicles) return s.Scratch;  // beyond the hundredth: dropped
  TVehicleState& v = s.Remote[static_cast<std::size_t>(slot)];
  if (v.UserNo == 0) {  // a new vehicle
    v.TrackSegments = 0;
    v.PartnerNo = 0;
    s.Remote[static_cast<std::size_t>(slot) + 1].UserNo = 0;
  }
  return v;
}

// Ends couplings and track holdings of vehicles that are no longer trains.
void DropStaleVehicles(state::TMainState& s) {
  const int count = vehicle::RemoteCount(s.Remote);
  const auto check = [&](TVehicleState& v) {
    if (v.Missed >= 10) v.Kind = vehicle::kKindNone;
    if (v.Kind == vehicle::kKindTrain) return;
    if (v.PartnerNo != 0) {
      TVehicleState* partner = nullptr;
      for (int k = 0; k < count && !partner; ++k) {
        if (s.Remote[static_cast<std::size_t>(k)].UserNo == v.PartnerNo) {
          partner = &s.Remote[static_cast<std::size_t>(k)];
        }
      }
      if (!partner && s.Own.UserNo == v.PartnerNo) partner = &s.Own;
      if (partner) partner->PartnerNo = 0;
      v.PartnerNo = 0;
    }
    if (v.TrackSegments != 0) {
      physics::ReleaseTrack(s, v.UserNo);
      v.TrackSegments = 0;
    }
  };
  for (int k = 0; k < count; ++k) check(s.Remote[static_cast<std::size_t>(k)]);
  check(s.Own);
}

// Removes vehicles of kind 0: the last vehicle of the list takes each one's place.
void CompactRemoteList(state::TMainState& s) {
  int count = vehicle::RemoteCount(s.Remote);
  for (int k = count - 1; k >= 0; --k) {
    if (s.Remote[static_cast<std::size_t>(k)].Kind != vehicle::kKindNone) continue;
    s.Remote[static_cast<std::size_t>(k)] = s.Remote[static_cast<std::size_t>(count) - 1];
    s.Remote[static_cast<std::size_t>(count) - 1].UserNo = 0;
    --count;
  }
}

void CoupleTrains(state::TMainState& s) {
  const int count = vehicle::RemoteCount(s.Remote);
  const auto free = [](const TVehicleState& v) {
    return v.Kind == vehicle::kKindTrain && v.PartnerNo == 0;
  };
  for (int i = 0; i < count; ++i) {
    TVehicleState& a = s.Remote[static_cast<std::size_t>(i)];
    if (!free(a)) continue;
    TVehicleState* found = nullptr;
    for (int j = i + 1; j < count && !found; ++j) {
      TVehicleState& b = s.Remote[static_cast<std::size_t>(j)];
      if (free(b) && CouplingTest(a, b)) found = &b;
    }
    if (!found && free(s.Own) && CouplingTest(a, s.Own)) found = &s.Own;
    if (found) {
      a.PartnerNo = found->UserNo;
      found->PartnerNo = a.UserNo;
    }
  }
}

// The own vehicle was placed (or its run ended): reset and start recording.
void OwnPlaced(state::TMainState& s, uint32_t now) {
  s.Start = s.Own;
  app::ResetRoutine(s, s.Own.FormNo, s.Own.FormNo != 0, now);
  if (s.Own.FormNo == 0) {
    s.VideoRow = 2;
    s.ReplayMode = 0;
  } else if (s.ReplayMode != kRecordingMode) {
    // The run that the ring holds ends here, and its frames are kept for the
    // logbook's save: both messages of a mission change can arrive before
    // the next tick, when the shell would save the ring.
    if (s.Figures.Active) EndRunAsLeft(s, now);
    s.FinishedRing.clear();
    for (int32_t i = s.ReplayStart; i != s.ReplayEnd; i = i + 1 >= state::kReplayEntries ? 0 : i + 1) {
      s.FinishedRing.push_back(s.ReplayRing[static_cast<std::size_t>(i)]);
    }
    s.FinishedRingSerial = s.Figures.FinishedSerial;
    s.ReplayMode = 0;
    s.ReplayStart = 0;
    s.ReplayEnd = 0;
    s.NextFrameTime = now;
    s.ReplayMode = kRecordingMode;
    s.Gust.Rising = 1;
    s.Gust.Factor = 1;
    s.Gust.Drift = 0;
    s.Gust.Counter = 500;
    s.WindX = s.BaseWindX;
    s.WindY = s.BaseWindY;
  }
  s.PlayIndex = s.ReplayStart;
}

// Code 40: positions of every vehicle, the clock and the wind.
void Positions(state::TMainState& s, FieldReader& reader, uint32_t now) {
  if (s.TimeSynchronised == 0) {
    s.TimerEnabled = true;
    s.Played = true;
  }
  const int32_t interval = Integer(reader);
  const int32_t serverTime = Integer(reader);
  s.SendInterval = interval;
  SynchroniseClock(s, serverTime, now);
  const uint32_t baseTime = static_cast<uint32_t>(serverTime) + static_cast<uint32_t>(s.OffsetA) -
                            static_cast<uint32_t>(s.OffsetB);
  s.TimeSynchronised = 1;
  const int32_t windX = Integer(reader);
  const int32_t windY = Integer(reader);
  s.WindX = windX / 100.0;
  s.WindY = windY / 100.0;

  const int count = vehicle::RemoteCount(s.Remote);
  for (int k = 0; k < count; ++k) {
    TVehicleState& v = s.Remote[static_cast<std::size_t>(k)];
    if (v.Missed < INT16_MAX) ++v.Missed;
  }

  bool ownArrived = false;
  for (int32_t userNo = Integer(reader); userNo != 0; userNo = Integer(reader)) {
    const TReceivedRecord record = ReadRecord(reader, userNo);
    if (record.UserNo == s.Own.UserNo && !OwnRecordUsable(record)) {
      // The run goes on as it was; the other records still count.
      s.Log("自分> サーバーから届いた自分の乗物の状態が範囲外のため、受け付けませんでした。");
      continue;
    }
    Fill(TargetOf(s, record, ownArrived), record, s, baseTime);
  }

  DropStaleVehicles(s);
  CompactRemoteList(s);
  CoupleTrains(s);
  if (ownArrived) OwnPlaced(s, now);
}

// The connection of a session in play is gone: the run ends as left (the
// logbook keeps it), the tick stops, the vehicles go, and the shell offers to
// log in again or to close. The replay ring stays, and so does the mission
// grid until the answer: the logbook's row names its mission from it.
void LoseSession(state::TMainState& s, const std::string& text, uint32_t now) {
  EndRunAsLeft(s, now);
  // Until the answer, what the old connection still reports is no news.
  s.LoginStage = TLoginStage::Asking;
  s.Own.UserNo = 0;
  s.Own.Kind = vehicle::kKindNone;
  s.Own.FormNo = 0;
  s.TimerEnabled = false;
  s.TimeSynchronised = 0;
  s.ServerSilent = false;
  s.SendInterval = 0;
  physics::ClearTrackMarks(s);
  s.Remote[0].UserNo = 0;
  if (s.ReplayMode == kRecordingMode) s.ReplayMode = 0;
  ResetRoutine(s, 0, false, now);
  s.Requests.ReloginBox = text;
}

void HandleLine(state::TMainState& s, std::string_view line, uint32_t now) {
  FieldReader reader(line);
  if (Integer(reader) != s.WorldNo) return;
  switch (Integer(reader)) {
    case 0: MissionList(s, reader); break;
    case 10: Refusal(s, reader); break;
    case 20: {
      const std::string a = Utf8(reader.ReadText());
      const std::string b = Utf8(reader.ReadText());
      s.Log(a + ": " + b);
      if (const std::optional<THitReport> hit = ParseHitReport(b)) {
        s.Cues.Push(state::TCueKind::Hit);
        if (hit->Target == s.LoginHandle) ++s.HitsOnOwn;
      }
      break;
    }
    case 30: LoginAccepted(s, reader); break;
    case 40: Positions(s, reader, now); break;
    case 80: {
      const int32_t east = Integer(reader);
      const int32_t north = Integer(reader);
      s.BaseWindX = east / 100.0;
      s.BaseWindY = north / 100.0;
      break;
    }
    default: break;
  }
}

}  // namespace

std::optional<THitReport> ParseHitReport(std::string_view text) {
  constexpr std::string_view kMissile = "さんのミサイルが";
  constexpr std::string_view kHit = "さんに命中しました";
  const std::size_t missile = text.find(kMissile);
  const std::size_t hit = text.rfind(kHit);
  if (missile == std::string_view::npos || hit == std::string_view::npos ||
      hit < missile + kMissile.size()) {
    return std::nullopt;
  }
  const std::size_t target = missile + kMissile.size();
  return THitReport{std::string(text.substr(0, missile)),
                    std::string(text.substr(target, hit - target))};
}

void StartLogin(state::TMainState& s) {
  s.LoginStage = TLoginStage::Asking;
  s.Requests.AskLogin = true;
}

void LoginAnswered(state::TMainState& s, const std::optional<std::string>& handle) {
  if (!handle) {
    s.Requests.Close = true;
    return;
  }
  s.LoginHandle = *handle;
  s.LoginStage = TLoginStage::Connecting;
  s.ReceiveRemainder.clear();
  s.DiscardingLongLine = false;
  s.Requests.OpenConnection = true;
}

void ClientSocketConnect(state::TMainState& s, uint32_t now) {
  if (s.LoginStage != TLoginStage::Connecting) return;
  s.LoginStage = TLoginStage::Sent;
  s.ServerSilent = false;
  SendLogin(s, s.LoginHandle, now);
}

void ClientSocketRead(state::TMainState& s, std::string_view received, uint32_t now) {
  if (!received.empty()) s.ServerSilent = false;
  if (s.DiscardingLongLine) {
    const std::size_t end = received.find('\n');
    if (end == std::string_view::npos) return;
    received.remove_prefix(end + 1);
    s.DiscardingLongLine = false;
  }
  std::string text = std::move(s.ReceiveRemainder);
  text.append(received);
  std::string_view rest = text;
  for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
    // The field readers see the line with its LF, so a text field stops there.
    const std::string_view line = rest.substr(0, end + 1);
    rest.remove_prefix(end + 1);
    if (end > kMaxLineLength) continue;
    try {
      HandleLine(s, line, now);
    } catch (const MalformedLine&) {
      // The rest of this line is dropped; the next line is read as usual.
    }
  }
  // An incomplete line waits for more text, unless it can no longer fit the
  // limit: then it is dropped up to its end.
  if (rest.size() > kMaxLineLength) {
    s.ReceiveRemainder.clear();
    s.DiscardingLongLine = true;
    return;
  }
  s.ReceiveRemainder = std::string(rest);
}

void ReloginAnswered(state::TMainState& s, bool again) {
  if (!again) {
    s.Requests.Close = true;
    return;
  }
  // The new login brings its own mission list.
  s.MissionCells[0].clear();
  s.MissionRowCount = 1;
  s.MissionFixedRows = 0;
  s.MissionRow = 0;
  LoginAnswered(s, s.LoginHandle);
}

void ClientSocketDisconnect(state::TMainState& s, uint32_t now) {
  // A connection given up for a new attempt has nothing more to say.
  if (s.LoginStage == TLoginStage::Asking) return;
  if (s.TimeSynchronised == 0) {
    // The program stays open, says why nothing arrives (a login that took
    // too long, another world number, a full server) and asks again.
    s.Log("サーバーが接続を切りました（ワールド番号 " + std::to_string(s.WorldNo) + "）。");
    s.Own.UserNo = 0;
    AskAgain(s);
    return;
  }
  LoseSession(s, "通信が切断されました。", now);
}

std::string SocketErrorReason(int errorCode) {
  switch (errorCode) {
    case ECONNREFUSED: return "接続が拒否されました。サーバーが動いていないか、ポート番号が違います。";
    case ECONNRESET: return "接続がリセットされました。";
    case EHOSTUNREACH: return "ホストが見つからないか、到達できません。";
    case EACCES: return "接続が許可されていません。";
    case ENOBUFS: return "接続に使う資源が足りません。";
    case ETIMEDOUT: return "接続がタイムアウトしました。";
    case ENETUNREACH: return "ネットワークに到達できません。";
    default: return "原因の分からないエラーです。";
  }
}

void ClientSocketError(state::TMainState& s, int errorCode, std::string_view host, uint16_t port,
                       uint32_t now) {
  // A connection given up for a new attempt may fail as it likes.
  if (s.LoginStage == TLoginStage::Asking) return;
  const std::string text = "サーバー " + net::JoinHostPort(host, port) + " との通信エラー（" +
                           std::to_string(errorCode) + "）：" + SocketErrorReason(errorCode);
  if (s.Played) {
    LoseSession(s, text, now);
    return;
  }
  s.Own.UserNo = 0;
  s.TimerEnabled = false;
  s.Requests.ErrorBoxes.push_back(text);
  s.Requests.Close = true;
}

void ServerSilence(state::TMainState& s, uint32_t silentMs) {
  const bool awaited = s.LoginStage == TLoginStage::Sent || s.LoginStage == TLoginStage::LoggedIn;
  if (!awaited || s.ServerSilent || silentMs < kServerSilenceMs) return;
  s.ServerSilent = true;
  s.Log("サーバーからの応答がありません。");
}

void SendEmptyState(state::TMainState& s) { Send(s, "40;0;"); }

void SendOwnState(state::TMainState& s) {
  if (s.Own.UserNo == 0) {
    SendEmptyState(s);
    return;
  }
  const TVehicleState& v = s.Own;
  char text[512];
  std::snprintf(text, sizeof text,
                "40;%d;%d;%d;%d;%d;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;", v.UserNo,
                s.RoomNo, v.Time, v.Kind, v.FormNo, (v.X + s.OriginX) * 100,
                (v.Y + s.OriginY) * 100, v.Z * 100, v.Heading * 100.0, v.Pitch * 100.0,
                v.Bank * 100.0, v.Flap * 100, v.VX * 100, v.VY * 100, v.VZ * 100);
  Send(s, text);
}

void SendMission(state::TMainState& s, int32_t missionNo) {
  // The grid cuts long texts: the log shows the chosen one whole, with the
  // instruction a practice mission carries at its end.
  const int32_t row = missionNo - 1 + s.MissionFixedRows;
  if (missionNo >= 1 && row < s.MissionRowCount - 1) {
    std::string_view text = s.MissionCells[static_cast<std::size_t>(row)];
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    s.Log("ミッション：" + std::string(text));
  }
  Send(s, "50;" + std::to_string(s.Own.UserNo) + ";" + std::to_string(s.RoomNo) + ";" +
              std::to_string(missionNo) + ";");
}

void SendShot(state::TMainState& s, int32_t targetUserNo) {
  Send(s, "60;" + std::to_string(s.Own.UserNo) + ";" + std::to_string(s.RoomNo) + ";" +
              std::to_string(targetUserNo) + ";");
}

void SendChat(state::TMainState& s, std::string_view text) {
  Send(s, "20;" + std::to_string(s.Own.UserNo) + ";" + std::to_string(s.RoomNo) + ";" +
              WithoutTabs(text) + "\t");
}

std::optional<int32_t> MissionForRow(const state::TMainState& s, int32_t row) {
  if (row < s.MissionFixedRows || row >= s.MissionRowCount - 1) return std::nullopt;
  return row - s.MissionFixedRows + 1;
}

bool CouplingTest(const TVehicleState& i, const TVehicleState& j) {
  using vehicle::CosDeg;
  using vehicle::SinDeg;
  // Facing each other's opposite way, within 10 degrees.
  if (std::fabs(std::fabs(static_cast<double>(i.Heading) - j.Heading) - 180) > 10) return false;
  // i's coupler, 10.5 m behind its reference point, relative to j; both at j's time.
  double e = i.X - SinDeg(i.Heading) * 10.5 - j.X;
  double f = i.Y - CosDeg(i.Heading) * 10.5 - j.Y;
  if (i.Time != j.Time) {
    const double g = static_cast<int32_t>(static_cast<uint32_t>(i.Time) -
                                          static_cast<uint32_t>(j.Time)) / 1000.0;
    e -= g * i.VX;
    f -= g * i.VY;
  }
  if (std::fabs(e) > 41 || std::fabs(f) > 41) return false;
  // Along j's track behind it, and on its centre line.
  return std::fabs(-e * SinDeg(j.Heading) - f * CosDeg(j.Heading) - 10.5) <= 20 &&
         std::fabs(-e * CosDeg(j.Heading) + f * SinDeg(j.Heading)) <= 1.2;
}

}  // namespace velmora::app
