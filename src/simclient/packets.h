// Packets the client sends: a 16-byte header (total size, protocol version,
// packet id, send id; little-endian 32-bit) and the body of one operation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace portrelay::simclient {

inline constexpr uint32_t kProtocolVersion = 5;
inline constexpr uint32_t kPacketIdBase = 0xF0000000u;
inline constexpr size_t kPacketHeaderSize = 16;
inline constexpr size_t kNameFieldSize = 256;
inline constexpr size_t kSendBufferSize = 41088;

enum class Operation : uint32_t {
  Open = 0x01,
  AddToDataDefinition = 0x0C,
  RequestDataOnObject = 0x0E,
  SubscribeToSystemEvent = 0x17,
};

// Composes one packet in a caller's buffer (at least kSendBufferSize bytes).
// The body is appended field by field; finish() fills the header.
class PacketComposer {
 public:
  PacketComposer(uint8_t* buffer, Operation operation) : buffer_(buffer), operation_(operation) {}

  void u32(uint32_t value);
  void f32(float value);
  void bytes(const uint8_t* data, size_t count);
  // A NUL-terminated text in a zero-filled 256-byte field; false (and nothing
  // written) when it has more than 255 characters.
  bool name(std::string_view text);

  // Writes the header with the send id and returns the packet's total size.
  size_t finish(uint32_t sendId);

 private:
  uint8_t* buffer_;
  Operation operation_;
  size_t size_ = kPacketHeaderSize;
};

// The send id after `id`: 1, 2, ... 0xFFFFFFFF, then 1 again.
inline uint32_t nextSendId(uint32_t id) { return id == 0xFFFFFFFFu ? 1u : id + 1u; }

}  // namespace portrelay::simclient
