// The railway track list: one record per Railway line of objects.dat, in file
// order, ended by a record whose curve radius is -1. Trains follow it; the
// railway world objects only draw the track.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::world {

inline constexpr int kMaxTrackRecords = 200;                   // Railway lines
inline constexpr int kTrackListSlots = kMaxTrackRecords + 1;   // and the end record

struct TTrackRecord {
  int32_t LineMask = 0;       // bit (n - 1) set admits trains of line number n
  double StartX = 0;          // m, east
  double StartY = 0;          // m, north
  double StartHeading = 0;    // deg, clockwise from north, track direction at the start
  double CurveRadius = 0;     // m, of the curve between the straight parts; -1 ends the list
  double EndX = 0;            // m, east
  double EndY = 0;            // m, north
  double EndHeading = 0;      // deg, track direction at the end
  int32_t TrackId = 0;        // segments with one id form one continuous track
  int32_t Direction = 0;      // +1 start to end only, -1 end to start only, 0 both ways
  double StopPosition = 0;    // m from the start point; negative = no stop
  // 1-based records whose end point is this start point, 0 = none; [0] is
  // the through route, [1] the diverging route of a switch.
  int32_t StartConnections[2] = {};
  // 1-based records whose start point is this end point, likewise.
  int32_t EndConnections[2] = {};
  int32_t Occupant = 0;       // user number of the train occupying or reserving it, 0 = free
};

// Records 1..Count are Slots[0..Count-1]; Slots[Count] is the end record.
struct TTrackList {
  std::array<TTrackRecord, kTrackListSlots> Slots{};
  int Count = 0;

  // The record of a 1-based reference.
  TTrackRecord& Record(int number) { return Slots[number - 1]; }
  const TTrackRecord& Record(int number) const { return Slots[number - 1]; }
};

// Fills the start and end connections of every record and clears the
// occupants. Ties that do not fit two connections are reported as
// "# Railway %d S connections to %d %d %d." (or E) lines, which are returned.
std::vector<std::string> BuildTrackConnections(TTrackList& list);

}  // namespace velmora::world
