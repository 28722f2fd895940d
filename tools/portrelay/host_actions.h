// What a rig owner does to a running rig, in one place for every front end
// (the terminal view's keys, the web panel): park and release, an emergency
// stop, master intensity, muting an axis and reloading the profile.
#pragma once
#include <string>

#include "library_api.h"
#include "profile_keeper.h"

namespace host {

class HostActions {
 public:
  static constexpr int kParkMs = 2000;
  static constexpr int kEmergencyParkMs = 500;  // the shortest park: the rate limit alone bounds it
  static constexpr int kIntensityStep = 10;

  HostActions(const LibraryApi& api, ProfileKeeper& keeper) : api_(api), keeper_(keeper) {}

  // Each returns a line for the owner: what happened, or why not.
  std::string togglePark();
  std::string emergencyStop();
  std::string changeIntensity(int steps);  // +1 / -1: 10 % up or down
  std::string toggleMute(int axis);        // 0..5: sway .. pitch
  std::string reloadProfile();

  // One key of the live view; false when the key means nothing.
  bool key(int pressed, std::string& notice);
  // The keys, for the view's help line.
  static const char* keyHelp();
  // The owner parked (a key or the panel): nothing but the owner releases it.
  bool ownerParked() const { return ownerParked_; }
  // "intensity 80 %  muted: heave  parked", for the view.
  std::string state() const;

 private:
  bool ownerParked_ = false;
  const LibraryApi& api_;
  ProfileKeeper& keeper_;
};

}  // namespace host
