#include "server/server_lines.h"

#include <charconv>
#include <cmath>

namespace velmora::server {
namespace {

void AppendInteger(std::string& line, int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  line.append(digits, result.ptr);
  line.push_back(';');
}

// Positions are whole centimetres on the wire.
void AppendCentimetres(std::string& line, double value) {
  AppendInteger(line, static_cast<int64_t>(std::llround(value)));
}

std::string Head(int32_t worldNo, int32_t code) {
  std::string line;
  AppendInteger(line, worldNo);
  AppendInteger(line, code);
  return line;
}

void AppendText(std::string& line, std::string_view text) {
  line.append(text);
  line.push_back('\t');
}

}  // namespace

std::string MissionListLine(int32_t worldNo, const std::vector<std::string>& headingsCp932,
                            const std::vector<std::string>& missionsCp932) {
  std::string line = Head(worldNo, 0);
  AppendInteger(line, static_cast<int64_t>(headingsCp932.size()));
  for (const std::string& text : headingsCp932) AppendText(line, CleanText(text));
  for (const std::string& text : missionsCp932) AppendText(line, CleanText(text));
  line.push_back('\n');
  return line;
}

std::string RefusalLine(int32_t worldNo, std::string_view textCp932) {
  std::string line = Head(worldNo, 10);
  AppendText(line, CleanText(textCp932));
  line.push_back('\n');
  return line;
}

std::string ChatLine(int32_t worldNo, std::string_view fromCp932, std::string_view textCp932) {
  std::string line = Head(worldNo, 20);
  AppendText(line, CleanText(fromCp932));
  AppendText(line, CleanText(textCp932));
  line.push_back('\n');
  return line;
}

std::string LoginAcceptedLine(int32_t worldNo, int32_t userNo, int32_t roomNo) {
  std::string line = Head(worldNo, 30);
  AppendInteger(line, userNo);
  AppendInteger(line, roomNo);
  line.push_back('\n');
  return line;
}

std::string BaseWindLine(int32_t worldNo, int32_t windEastCm, int32_t windNorthCm) {
  std::string line = Head(worldNo, 80);
  AppendInteger(line, windEastCm);
  AppendInteger(line, windNorthCm);
  line.push_back('\n');
  return line;
}

std::string PositionsHead(int32_t worldNo, int32_t intervalMs, int32_t serverTimeMs,
                          int32_t windEastCm, int32_t windNorthCm) {
  std::string line = Head(worldNo, 40);
  AppendInteger(line, intervalMs);
  AppendInteger(line, serverTimeMs);
  AppendInteger(line, windEastCm);
  AppendInteger(line, windNorthCm);
  return line;
}

void AppendVehicleRecord(std::string& line, const WireVehicle& v, int32_t ageMs) {
  AppendInteger(line, v.UserNo);
  AppendInteger(line, v.GroupNo);
  AppendInteger(line, v.Kind);
  AppendInteger(line, v.FormNo);
  AppendCentimetres(line, v.X);
  AppendCentimetres(line, v.Y);
  AppendCentimetres(line, v.Z);
  AppendInteger(line, v.Heading);
  AppendInteger(line, v.Pitch);
  AppendInteger(line, v.Bank);
  AppendInteger(line, v.Flap);
  AppendInteger(line, v.VX);
  AppendInteger(line, v.VY);
  AppendInteger(line, v.VZ);
  AppendInteger(line, ageMs);
}

std::string CleanText(std::string_view cp932) {
  std::string text(cp932);
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return text;
}

}  // namespace velmora::server
