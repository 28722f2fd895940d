// Two network namespaces joined by a veth pair, made for one test or
// measuring run (Linux, root): the library's side and the rig's side, each
// with its loopback up, one address on its veth end and a route for the
// multicast range through it. Nothing sent inside them reaches any other
// network. Removed again by the destructor (and stale pairs of processes that
// no longer run are removed when a new pair is made).
#pragma once
#include <string>

namespace rigsim {

class NamespacePair {
 public:
  static constexpr const char* kLibraryAddress = "10.231.44.1";
  static constexpr const char* kRigAddress = "10.231.44.2";

  NamespacePair() = default;
  ~NamespacePair();
  NamespacePair(const NamespacePair&) = delete;
  NamespacePair& operator=(const NamespacePair&) = delete;

  // Creates both namespaces and the link. False, with the reason in `why`,
  // when that is not possible here (no root, no ip tool, no veth support).
  bool create(std::string& why);
  void remove();

  // Moves the calling thread into a namespace (threads it creates later
  // inherit it; sockets keep the namespace they were made in). The check
  // compares the thread's namespace with the named one.
  bool enterLibrarySide() { return enter(library_); }
  bool enterRigSide() { return enter(rig_); }
  bool enterOriginal();
  bool inLibrarySide() const { return isIn(library_); }
  bool inRigSide() const { return isIn(rig_); }

  const std::string& libraryNamespace() const { return library_; }
  const std::string& rigNamespace() const { return rig_; }
  const std::string& libraryInterface() const { return libraryVeth_; }

 private:
  bool enter(const std::string& name);
  bool isIn(const std::string& name) const;

  std::string library_, rig_, libraryVeth_, rigVeth_;
  int originalFd_ = -1;
  bool created_ = false;
};

}  // namespace rigsim
