// The line protocol that steers a rig in another process (the native rigsim
// program serving a Windows test under Wine). One command per line; every
// answer starts with "ok" or "error"; "frames" is followed by one line per frame.
//   reply t1|c1|t2|c2     behave normal|wrong-id|silent|garbage|long-reply|stall
//   level N               unplug            replug          reset
//   send HEX              stats             frames          motion          now
//   motion-since SEQ      frames-since SEQ   (the motion or short frames numbered above SEQ)
// A fan sink (rigsim --fan-link) answers instead:
//   fanbytes (followed by one "HH NS" line per byte)   fanbytes-after NS   fanline
//   unplug   replug   reset   now
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "virtual_fan.h"
#include "virtual_rig.h"

namespace rigsim {

class PtyRig;
class PtyFan;

std::string toHex(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> fromHex(const std::string& hex);

// Answers one command line for the rig; the answer has no final line end.
std::string executeCommand(PtyRig& rig, const std::string& line);

std::string executeFanCommand(PtyFan& fan, const std::string& line);

std::string formatStats(const RigStats& stats);
bool parseStats(const std::string& answer, RigStats& stats);
std::string formatFrame(const ReceivedFrame& frame);
bool parseFrame(const std::string& line, ReceivedFrame& frame);
std::string formatFanByte(const FanByte& byte);
bool parseFanByte(const std::string& line, FanByte& byte);
std::string formatFanLine(const FanLine& line);
bool parseFanLine(const std::string& answer, FanLine& line);

}  // namespace rigsim
