#include "control_protocol.h"

#include <sstream>


namespace rigsim {

std::string toHex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 0xF];
  }
  return hex.empty() ? "-" : hex;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string formatStats(const RigStats& s) {
  std::ostringstream out;
  out << "ok " << s.motionFrames << ' ' << s.checksummedMotionFrames << ' ' << s.checksumErrors << ' '
      << s.identityQueries << ' ' << s.levelQueries << ' ' << s.otherFrames << ' ' << s.noiseBytes << ' '
      << s.motionRatePerSecond << ' ' << toHex(s.lastMotionFrame) << ' ' << s.cutFrames;
  return out.str();
}

bool parseStats(const std::string& answer, RigStats& s) {
  std::istringstream in(answer);
  std::string ok, last;
  in >> ok >> s.motionFrames >> s.checksummedMotionFrames >> s.checksumErrors >> s.identityQueries >>
      s.levelQueries >> s.otherFrames >> s.noiseBytes >> s.motionRatePerSecond >> last >> s.cutFrames;
  if (!in || ok != "ok") return false;
  s.lastMotionFrame = fromHex(last);
  return true;
}

std::string formatFrame(const ReceivedFrame& frame) {
  return toHex(frame.bytes) + (frame.checksummed ? " c " : " t ") + std::to_string(frame.arrivalNs) + ' ' +
         std::to_string(frame.sequence);
}

bool parseFrame(const std::string& line, ReceivedFrame& frame) {
  std::istringstream in(line);
  std::string hex, form;
  in >> hex >> form >> frame.arrivalNs >> frame.sequence;
  if (!in) return false;
  frame.bytes = fromHex(hex);
  frame.checksummed = form == "c";
  return true;
}

std::string formatFanByte(const FanByte& byte) {
  return toHex({byte.value}) + " " + std::to_string(byte.arrivalNs);
}

bool parseFanByte(const std::string& line, FanByte& byte) {
  std::istringstream in(line);
  std::string hex;
  in >> hex >> byte.arrivalNs;
  const std::vector<uint8_t> value = fromHex(hex);
  if (!in || value.size() != 1) return false;
  byte.value = value[0];
  return true;
}

std::string formatFanLine(const FanLine& line) {
  std::ostringstream out;
  out << "ok " << line.dataBits << ' ' << line.parity << ' ' << line.stopBits << ' ' << line.baudRate;
  return out.str();
}

bool parseFanLine(const std::string& answer, FanLine& line) {
  std::istringstream in(answer);
  std::string ok;
  in >> ok >> line.dataBits >> line.parity >> line.stopBits >> line.baudRate;
  return in && ok == "ok";
}

}  // namespace rigsim
