// The lines the server sends. Each starts with the world number and ends with
// LF; free texts are CP932 and end with a TAB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/client_message.h"

namespace velmora::server {

// Code 0: the mission panel. The heading rows come first, then one row per
// mission, each text followed by a TAB.
std::string MissionListLine(int32_t worldNo, const std::vector<std::string>& headingsCp932,
                            const std::vector<std::string>& missionsCp932);

// Code 10: a refused login, with the reason.
std::string RefusalLine(int32_t worldNo, std::string_view textCp932);

// Code 20: a chat line, shown by the clients as "<from>: <text>".
std::string ChatLine(int32_t worldNo, std::string_view fromCp932, std::string_view textCp932);

// Code 30: the login accepted.
std::string LoginAcceptedLine(int32_t worldNo, int32_t userNo, int32_t roomNo);

// Code 80: the base wind, cm/s east and north.
std::string BaseWindLine(int32_t worldNo, int32_t windEastCm, int32_t windNorthCm);

// Code 40 is built in three parts so that a round can share the vehicle
// records between its clients: the head, the records, the end.
// Head: interval (ms), server time (ms), current wind (cm/s east, north).
std::string PositionsHead(int32_t worldNo, int32_t intervalMs, int32_t serverTimeMs,
                          int32_t windEastCm, int32_t windNorthCm);
// Appends one vehicle record with its age (ms).
void AppendVehicleRecord(std::string& line, const WireVehicle& v, int32_t ageMs);
// The user number 0 that ends the records, and the line end.
inline constexpr std::string_view kPositionsEnd = "0;\n";
// The longest line the program reads, without its LF: it drops a longer one
// whole. About 180 vehicle records fit one line.
inline constexpr std::size_t kMaxLineBytes = 9999;

// A text with every byte that could end a field or a line (TAB, CR, LF and the
// other control characters) replaced by a space. CP932 trail bytes are never
// below 0x40, so this cannot split a double-byte character.
std::string CleanText(std::string_view cp932);

}  // namespace velmora::server
