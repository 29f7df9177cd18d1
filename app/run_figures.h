// The run's figures: a touchdown's sink rate, load, speeds, attitude and
// point on the runway with its bounces; a train's stop against the stop mark;
// a race's time from the start line to the goal; and the run itself. Updated
// after every control step from the main state, without allocating; each
// finished event adds its report to the message log and is handed to the
// shell (state::TRunFigures::LastEvent), as is each finished run (Finished).
#pragma once

#include <string>
#include <vector>

#include "state/main_state.h"

namespace velmora::app {

// Landing grades by the sink rate at the first contact: below 200 ft/min is
// smooth, below 600 ft/min firm, from 600 ft/min hard. From 800 ft/min (4 m/s)
// the main gear breaks, which the crash tests judge.
inline constexpr double kSmoothSinkRate = 1.0;  // m/s (200 ft/min)
inline constexpr double kHardSinkRate = 3.0;    // m/s (600 ft/min)
// The gear takes up the sink rate over its stroke, at an efficiency (the
// energy it absorbs against its peak force times the stroke): its reaction is
// v²/(2·g·efficiency·stroke) times the weight. The wing's lift still carries
// the weight at the contact, so the load at the centre of gravity is 1 g more.
// Calibrated on the figures N. S. Currey publishes for transport aircraft in
// "Aircraft Landing Gear Design: Principles and Practices" (AIAA, 1988),
// chapter 5: a reaction factor of 0.7 to 1.5 at the design sink rate (10 ft/s,
// the limit descent velocity of CS/FAR 25.473), 1 g more at the centre of
// gravity, from an oleo-pneumatic strut of about 0.8 efficiency. The stroke
// puts the design sink rate in the middle of that range: 600 ft/min reads
// 2.1 g, 700 ft/min 2.4 g, 200 ft/min 1.1 g.
inline constexpr double kGearEfficiency = 0.8;
inline constexpr double kGearStroke = 0.54;  // m, strut and tyre together
// The roll-out ends below this ground speed; its report is then given.
inline constexpr double kRollOutEndSpeed = 10.3;  // m/s (20 kt)
// A lift-off longer than this followed by a contact within the roll is a bounce.
inline constexpr uint32_t kBounceLiftOff = 1000;  // ms
// Airborne for longer than this after a touchdown: a touch-and-go; the next
// contact is a new touchdown.
inline constexpr uint32_t kTouchAndGo = 10000;  // ms
// A train within this distance of a stop mark when it comes to rest has stopped there.
inline constexpr double kStopMarkReach = 50;  // m
// Below this speed a vehicle is at rest.
inline constexpr double kAtRestSpeed = 0.01;  // m/s
// A run ended by the server while the train moves slower than this counts as
// having stopped (the server ends a stopping run before the last centimetres).
inline constexpr double kServerStopSpeed = 0.5;  // m/s

// Grade of a landing by its sink rate (m/s).
state::TLandingGrade LandingGrade(double sinkRate);
// Load (g) at a contact with this sink rate (m/s).
double TouchdownLoad(double sinkRate);

// After each control step of dt seconds, before a crash restores the start
// state. crash: the crash tests' message of this step, or null. A run starts
// when an own vehicle appears and ends as described at state::TRunEnd; a run
// left without moving and without an event is not kept.
void UpdateRunFigures(state::TMainState& state, const char* crash, double dt);

// Ends the run in progress as left (the program closes, the user logs off).
void EndRunAsLeft(state::TMainState& state, uint32_t now);

// The report lines of an event (UTF-8, Japanese), as the log shows them.
std::vector<std::string> EventReport(const state::TMainState& state, const state::TRunEvent& event);

// Names in the reports and the logbook: the Japanese names a person reads,
// and the stable keys the logbook's file and its CSV keep.
const char* GradeName(state::TLandingGrade grade);    // "スムーズ" …
const char* GradeKey(state::TLandingGrade grade);     // "smooth" …
const char* EndName(state::TRunEnd end);              // "着陸" …
const char* EndKey(state::TRunEnd end);               // "landed" …
const char* EventKindKey(state::TRunEventKind kind);  // "touchdown" …
// The name of a key read back from the logbook; an unknown key as it is.
std::string GradeNameOfKey(const std::string& key);
std::string EndNameOfKey(const std::string& key);

}  // namespace velmora::app
