// The rig side of the control protocol (native rigsim program).
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "control_protocol.h"
#include "pty_fan.h"
#include "pty_rig.h"

namespace rigsim {
namespace {

// "ok N" and then one line per item.
template <typename Item>
std::string listAnswer(const std::vector<Item>& items, std::string (*format)(const Item&)) {
  std::string answer = "ok " + std::to_string(items.size());
  for (const Item& item : items) answer += "\n" + format(item);
  return answer;
}

}  // namespace

std::string executeCommand(PtyRig& rig, const std::string& line) {
  std::istringstream in(line);
  std::string command, argument;
  in >> command >> argument;
  bool ok = true;
  if (command == "reply") {
    const ReplyForm form = parseReplyForm(argument, &ok);
    if (ok) rig.rig().setReplyForm(form);
  } else if (command == "behave") {
    const Behaviour behaviour = parseBehaviour(argument, &ok);
    if (ok) rig.rig().setBehaviour(behaviour);
  } else if (command == "level") {
    rig.rig().setFirmwareLevel(std::atoi(argument.c_str()));
  } else if (command == "unplug") {
    ok = rig.unplug();
  } else if (command == "replug") {
    ok = rig.replug();
  } else if (command == "reset") {
    rig.rig().reset();
  } else if (command == "send") {
    ok = rig.sendToHost(fromHex(argument));
  } else if (command == "stats") {
    return formatStats(rig.rig().stats(monotonicNs()));
  } else if (command == "frames") {
    return listAnswer(rig.rig().frames(), formatFrame);
  } else if (command == "motion") {
    return listAnswer(rig.rig().motionLog(), formatFrame);
  } else if (command == "motion-since" || command == "frames-since") {
    const uint64_t sequence = std::strtoull(argument.c_str(), nullptr, 10);
    return listAnswer(command == "motion-since" ? rig.rig().motionSince(sequence) : rig.rig().framesSince(sequence),
                      formatFrame);
  } else if (command == "now") {
    return "ok " + std::to_string(monotonicNs());
  } else {
    ok = false;
  }
  return ok ? "ok" : "error";
}

std::string executeFanCommand(PtyFan& fan, const std::string& line) {
  std::istringstream in(line);
  std::string command, argument;
  in >> command >> argument;
  if (command == "fanbytes" || command == "fanbytes-after") {
    return listAnswer(
        command == "fanbytes" ? fan.bytes() : fan.bytesAfter(std::strtoll(argument.c_str(), nullptr, 10)),
        formatFanByte);
  }
  if (command == "fanline") return formatFanLine(fan.line());
  if (command == "unplug") {
    fan.unplug();
    return "ok";
  }
  if (command == "replug") return fan.replug() ? "ok" : "error";
  if (command == "reset") {
    fan.reset();
    return "ok";
  }
  if (command == "now") return "ok " + std::to_string(monotonicNs());
  return "error";
}

}  // namespace rigsim
