#include "host_actions.h"

#include "profile.h"

namespace host {

std::string HostActions::togglePark() {
  if (api_.getParkStatus() != 0) {
    api_.parkRig(0);
    ownerParked_ = false;
    return "park released: the motion fades back in over 4 s";
  }
  api_.parkRig(kParkMs);
  ownerParked_ = true;
  return "parking: every axis to neutral within 2 s";
}

std::string HostActions::emergencyStop() {
  api_.parkRig(kEmergencyParkMs);
  ownerParked_ = true;
  return "EMERGENCY STOP: parking at the rate limit; p releases";
}

std::string HostActions::changeIntensity(int steps) {
  std::string error;
  const int wanted = keeper_.intensity() + steps * kIntensityStep;
  if (!keeper_.setIntensity(wanted, error)) return error;
  return "intensity " + std::to_string(keeper_.intensity()) + " % (fading in)";
}

std::string HostActions::toggleMute(int axis) {
  if (axis < 0 || axis >= 6) return "no such axis";
  std::string error;
  const bool mute = !keeper_.muted(axis);
  if (!keeper_.setMuted(axis, mute, error)) return error;
  return std::string(kAxisNames[axis]) + (mute ? " muted" : " unmuted") + " (fading)";
}

std::string HostActions::reloadProfile() {
  std::string notice;
  keeper_.reload(notice);
  return notice;
}

bool HostActions::key(int pressed, std::string& notice) {
  switch (pressed) {
    case 'p': case 'P': notice = togglePark(); return true;
    case ' ': case 'e': case 'E': notice = emergencyStop(); return true;
    case '+': case '=': notice = changeIntensity(+1); return true;
    case '-': case '_': notice = changeIntensity(-1); return true;
    case 'r': case 'R': notice = reloadProfile(); return true;
    default:
      if (pressed >= '1' && pressed <= '6') {
        notice = toggleMute(pressed - '1');
        return true;
      }
      return false;
  }
}

std::string HostActions::state() const {
  std::string text = "intensity " + std::to_string(keeper_.intensity()) + " %";
  std::string muted;
  for (int axis = 0; axis < 6; ++axis)
    if (keeper_.muted(axis)) muted += std::string(muted.empty() ? "" : ", ") + kAxisNames[axis];
  if (!muted.empty()) text += "   muted: " + muted;
  static const char* const kPark[3] = {"", "   PARKING", "   PARKED"};
  const int park = api_.getParkStatus();
  if (park >= 1 && park <= 2) text += kPark[park];
  return text;
}

const char* HostActions::keyHelp() {
  return "keys: SPACE emergency stop  p park/release  +/- intensity  1-6 mute sway..pitch  r reload  Ctrl-C end";
}

}  // namespace host
