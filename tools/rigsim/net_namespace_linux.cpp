#include "net_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace rigsim {
namespace {

constexpr const char* kPrefix = "prlu";

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Pairs left behind by runs that crashed: their process is gone.
void removeStalePairs() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0 || name.size() < 6) continue;
    const std::string pid = name.substr(4, name.size() - 5);
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::filesystem::exists("/proc/" + pid)) continue;
    run("ip netns del " + name);
  }
}

bool sameInode(const char* a, const char* b) {
  struct stat sa{}, sb{};
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

NamespacePair::~NamespacePair() { remove(); }

bool NamespacePair::create(std::string& why) {
  if (::geteuid() != 0) {
    why = "network namespaces need root";
    return false;
  }
  if (!run("ip -V")) {
    why = "the ip tool is missing";
    return false;
  }
  removeStalePairs();
  const std::string id = kPrefix + std::to_string(::getpid());
  library_ = id + "l";
  rig_ = id + "r";
  libraryVeth_ = id + "a";
  rigVeth_ = id + "b";
  originalFd_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  created_ = true;
  const std::string l = "ip -n " + library_ + " ", r = "ip -n " + rig_ + " ";
  const std::string commands[] = {
      "ip netns add " + library_,
      "ip netns add " + rig_,
      "ip link add " + libraryVeth_ + " netns " + library_ + " type veth peer name " + rigVeth_ + " netns " + rig_,
      l + "addr add " + kLibraryAddress + "/24 dev " + libraryVeth_,
      r + "addr add " + kRigAddress + "/24 dev " + rigVeth_,
      l + "link set lo up",
      r + "link set lo up",
      l + "link set " + libraryVeth_ + " up",
      r + "link set " + rigVeth_ + " up",
      l + "route add 232.0.0.0/8 dev " + libraryVeth_,
      r + "route add 232.0.0.0/8 dev " + rigVeth_,
  };
  for (const std::string& command : commands) {
    if (!run(command)) {
      why = "cannot set up the network namespaces (" + command + ")";
      remove();
      return false;
    }
  }
  if (originalFd_ < 0) {
    why = "cannot open the process's own network namespace";
    remove();
    return false;
  }
  return true;
}

void NamespacePair::remove() {
  if (originalFd_ >= 0) {
    enterOriginal();
    ::close(originalFd_);
    originalFd_ = -1;
  }
  if (!created_) return;
  created_ = false;
  run("ip netns del " + library_);  // takes the veth pair with it
  run("ip netns del " + rig_);
}

bool NamespacePair::enter(const std::string& name) {
  const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
  ::close(fd);
  return entered && isIn(name);
}

bool NamespacePair::enterOriginal() { return originalFd_ >= 0 && ::setns(originalFd_, CLONE_NEWNET) == 0; }

bool NamespacePair::isIn(const std::string& name) const {
  return !name.empty() && sameInode("/proc/thread-self/ns/net", ("/run/netns/" + name).c_str());
}

}  // namespace rigsim
