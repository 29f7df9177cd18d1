// The command line of velmora-traffic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "traffic/drivers.h"

namespace velmora::traffic {

inline constexpr int kMaxTrafficClients = 400;

struct TTrafficOptions {
  std::string Host = "127.0.0.1";
  uint16_t Port = 64000;
  int Count = 1;
  int First = 1;  // the number of the first client's handle
  std::vector<TTrafficKind> Kinds = {TTrafficKind::Train, TTrafficKind::Car, TTrafficKind::Airliner,
                                     TTrafficKind::Fighter};
  uint32_t Seed = 1;
  std::string WorldText = "52566771";
  int32_t WorldNo = 52566771;
  std::string DataDir;     // empty: the working directory holds the installation
  int StatusSeconds = 60;  // seconds between the status lines
  bool Help = false;
  bool Version = false;
};

struct TOptionsParse {
  TTrafficOptions Options;
  std::optional<std::string> Error;
};

TOptionsParse ParseTrafficOptions(const std::vector<std::string>& arguments);
const char* TrafficUsage();

// "AI-01" for client 1; two digits at least.
std::string TrafficHandle(int number);

}  // namespace velmora::traffic
