// One named shared-memory section as a reader holds it: the mapping handle and
// a read-only view.
#pragma once
#include <string>

#include "platform/shared_memory.h"
#include "sources/byte_view.h"

namespace portrelay {

class MappedSection {
 public:
  // Create-or-open / open-existing of the handle; a held handle is closed first.
  bool createOrOpen(const std::string& name, size_t size);
  bool openExisting(const std::string& name);
  // Maps `size` bytes read-only (0: the whole mapping).
  bool map(size_t size);
  void closeHandle() { memory_.close(); }
  // Unmaps the view and closes the handle.
  void release();

  bool hasHandle() const { return memory_.valid(); }
  bool mapped() const { return view_.valid(); }
  ByteView view() const { return {view_.data(), view_.size()}; }

 private:
  platform::SharedMemory memory_;
  platform::SharedView view_;
};

// Opens the existing mapping and maps `size` bytes read-only, printing
// "Failed to open mapping" or "Failed to map buffer" (and releasing) on failure.
bool openAndMapExisting(MappedSection& section, const std::string& name, size_t size);

// Opens an existing mapping by name and closes it again: does the game still publish it?
bool mappingExists(const std::string& name);

}  // namespace portrelay
