#include "world/track.h"

#include <cstdio>

#include "vehicle/geometry.h"

namespace velmora::world {
namespace {

std::string ConnectionError(char end, int record, const int32_t (&links)[2], int newcomer) {
  char text[96];
  std::snprintf(text, sizeof text, "# Railway %d %c connections to %d %d %d.", record, end,
                links[0], links[1], newcomer);
  return text;
}

}  // namespace

std::vector<std::string> BuildTrackConnections(TTrackList& list) {
  std::vector<std::string> errors;
  for (int p = 1; p <= list.Count; ++p) {
    TTrackRecord& record = list.Record(p);
    record.StartConnections[0] = record.StartConnections[1] = 0;
    record.EndConnections[0] = record.EndConnections[1] = 0;
    for (int x = 1; x <= list.Count; ++x) {
      const TTrackRecord& other = list.Record(x);

      // The other record ends where this one starts.
      if (other.EndX == record.StartX && other.EndY == record.StartY) {
        int32_t (&links)[2] = record.StartConnections;
        if (links[0] == 0) {
          links[0] = x;
        } else if (links[1] != 0) {
          errors.push_back(ConnectionError('S', p, links, x));
        } else {
          // The through route continues the heading and may be run towards
          // this record; a diverging first link gives way, and of two
          // through routes the one further left comes first.
          const TTrackRecord& first = list.Record(links[0]);
          const bool firstDiverges =
              first.EndHeading != record.StartHeading || first.Direction > 0;
          const bool newcomerLeftThrough =
              other.EndHeading == record.StartHeading && other.Direction < 1 &&
              vehicle::Normalise180(other.StartHeading - first.StartHeading) < 0;
          if (firstDiverges || newcomerLeftThrough) {
            links[1] = links[0];
            links[0] = x;
          } else {
            links[1] = x;
          }
        }
      }

      // The other record starts where this one ends.
      if (other.StartX == record.EndX && other.StartY == record.EndY) {
        int32_t (&links)[2] = record.EndConnections;
        if (links[0] == 0) {
          links[0] = x;
        } else if (links[1] != 0) {
          errors.push_back(ConnectionError('E', p, links, x));
        } else {
          const TTrackRecord& first = list.Record(links[0]);
          const bool firstDiverges =
              first.StartHeading != record.EndHeading || first.Direction < 0;
          const bool newcomerLeftThrough =
              other.StartHeading == record.EndHeading && other.Direction >= 0 &&
              vehicle::Normalise180(other.EndHeading - first.EndHeading) < 0;
          if (firstDiverges || newcomerLeftThrough) {
            links[1] = links[0];
            links[0] = x;
          } else {
            links[1] = x;
          }
        }
      }
    }
    record.Occupant = 0;
  }
  return errors;
}

}  // namespace velmora::world
