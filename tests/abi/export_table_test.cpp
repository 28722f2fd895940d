// Each shared library exports exactly what its headers declare, read from the
// library file's own export table (the ELF dynamic symbol table of the .so,
// the export directory of the DLL) and from the headers' text: the shipped
// library the C ABI of portrelay.h and the class of wind_serial.h, its test
// variant those and the seams of seam_exports.h.
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tools/platform/dynamic_library.h"
#include "support/text_pattern.h"

namespace portrelay {
namespace {

using Names = std::set<std::string>;
using Bytes = std::vector<uint8_t>;

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string text(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
  in.seekg(0);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  return text;
}

// ---- the library file ----

// Little-endian fields; reads past the end give 0, so a damaged file yields no
// names rather than a crash.
uint64_t field(const Bytes& image, uint64_t offset, int size) {
  uint64_t value = 0;
  if (offset > image.size() || image.size() - offset < static_cast<uint64_t>(size)) return 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | image[offset + static_cast<uint64_t>(i)];
  return value;
}

std::string textAt(const Bytes& image, uint64_t offset) {
  std::string text;
  while (offset < image.size() && image[offset] != 0) text += static_cast<char>(image[offset++]);
  return text;
}

// Defined symbols of an ELF64 file's dynamic symbol table with global, weak or
// unique binding and default or protected visibility.
Names elfExports(const Bytes& image) {
  Names names;
  const uint64_t sectionTable = field(image, 0x28, 8);
  const uint64_t sectionSize = field(image, 0x3A, 2);
  const uint64_t sectionCount = field(image, 0x3C, 2);
  for (uint64_t s = 0; s < sectionCount; ++s) {
    const uint64_t section = sectionTable + s * sectionSize;
    if (field(image, section + 4, 4) != 11) continue;  // SHT_DYNSYM
    const uint64_t symbols = field(image, section + 0x18, 8);
    const uint64_t size = field(image, section + 0x20, 8);
    const uint64_t entrySize = field(image, section + 0x38, 8);
    const uint64_t strings = field(image, sectionTable + field(image, section + 0x28, 4) * sectionSize + 0x18, 8);
    if (entrySize == 0) break;
    for (uint64_t entry = symbols + entrySize; entry + entrySize <= symbols + size; entry += entrySize) {
      const uint64_t binding = field(image, entry + 4, 1) >> 4;
      const uint64_t visibility = field(image, entry + 5, 1) & 3;
      const bool defined = field(image, entry + 6, 2) != 0;
      if (defined && (binding == 1 || binding == 2 || binding == 10) && (visibility == 0 || visibility == 3))
        names.insert(textAt(image, strings + field(image, entry, 4)));
    }
  }
  return names;
}

// The name table of a PE32+ file's export directory.
Names peExports(const Bytes& image) {
  Names names;
  const uint64_t pe = field(image, 0x3C, 4);
  if (field(image, pe, 4) != 0x4550) return names;  // "PE\0\0"
  const uint64_t sectionCount = field(image, pe + 6, 2);
  const uint64_t optional = pe + 24;
  if (field(image, optional, 2) != 0x20B) return names;  // PE32+
  const uint64_t exportRva = field(image, optional + 112, 4);
  const uint64_t sections = optional + field(image, pe + 20, 2);
  auto fileOffset = [&](uint64_t rva) -> uint64_t {
    for (uint64_t s = 0; s < sectionCount; ++s) {
      const uint64_t header = sections + s * 40;
      const uint64_t start = field(image, header + 12, 4);
      const uint64_t length = std::max(field(image, header + 8, 4), field(image, header + 16, 4));
      if (rva >= start && rva < start + length) return rva - start + field(image, header + 20, 4);
    }
    return image.size();
  };
  if (exportRva == 0) return names;
  const uint64_t directory = fileOffset(exportRva);
  const uint64_t count = field(image, directory + 24, 4);
  const uint64_t nameTable = fileOffset(field(image, directory + 32, 4));
  for (uint64_t i = 0; i < count; ++i) names.insert(textAt(image, fileOffset(field(image, nameTable + 4 * i, 4))));
  return names;
}

Names exportTable(const std::string& path) {
  const std::string text = readText(path);
  const Bytes image(text.begin(), text.end());
  if (image.size() > 4 && std::memcmp(image.data(), "\x7f" "ELF", 4) == 0) return elfExports(image);
  if (image.size() > 2 && std::memcmp(image.data(), "MZ", 2) == 0) return peExports(image);
  return {};
}

// "WindSerial::init" for a mangled member of WindSerial; the name itself when
// it cannot be demangled.
std::string demangledFunction(const std::string& name) {
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || text == nullptr) return name;
  std::string function(text);
  std::free(text);
  return function.substr(0, function.find('('));
}

// ---- the headers ----

// The declarations alone: comments and preprocessor lines become blanks.
std::string declarationsOf(const std::string& text) {
  std::string out;
  size_t i = 0;
  bool lineStart = true;
  while (i < text.size()) {
    if (text.compare(i, 2, "/*") == 0) {
      const size_t end = text.find("*/", i + 2);
      i = end == std::string::npos ? text.size() : end + 2;
      out += ' ';
    } else if (text.compare(i, 2, "//") == 0 || (lineStart && text[i] == '#')) {
      i = std::min(text.find('\n', i), text.size());
    } else {
      if (text[i] == '\n') lineStart = true;
      else if (text[i] != ' ') lineStart = false;
      out += text[i++];
    }
  }
  return out;
}

// Functions declared PORTRELAY_API (not the class).
Names declaredFunctions(const std::string& header) {
  static const testing::TextPattern declaration(R"(PORTRELAY_API\s[^;({]*?\b([A-Za-z_]\w*)\s*\()");
  const std::string text = declarationsOf(readText(header));
  Names names;
  for (const auto& match : declaration.searchAll(text)) names.insert(match[1]);
  return names;
}

// Every member function the exported class declares, public or private,
// except the deleted ones, as "Class::name".
Names declaredMembers(const std::string& header, const std::string& className) {
  const std::string text = declarationsOf(readText(header));
  const size_t begin = text.find("class PORTRELAY_API " + className);
  const size_t end = text.find("};", begin);
  if (begin == std::string::npos || end == std::string::npos) return {};
  const std::string body = text.substr(text.find('{', begin) + 1, end - text.find('{', begin) - 1);
  static const testing::TextPattern function(R"((~?[A-Za-z_]\w*)\s*\()");
  Names names;
  size_t start = 0;
  while (start < body.size()) {
    size_t stop = body.find(';', start);
    if (stop == std::string::npos) stop = body.size();
    const std::string member = body.substr(start, stop - start);
    const auto match = function.search(member);
    if (member.find("= delete") == std::string::npos && match) names.insert(className + "::" + (*match)[1]);
    start = stop + 1;
  }
  return names;
}

std::string listed(const Names& names) {
  std::string text;
  for (const std::string& name : names) text += "\n  " + name;
  return text.empty() ? " (none)" : text;
}

struct LibraryCase {
  const char* name;
  const char* file;
  std::vector<const char*> headers;  // their PORTRELAY_API functions
};

class ExportTable : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(ExportTable, EqualsTheHeadersNameByName) {
  const LibraryCase& c = GetParam();
  Names expected = declaredMembers("export-headers/wind_serial.h", "WindSerial");
  ASSERT_GT(expected.size(), 10u) << "the WindSerial class was not found in its header";
  for (const char* header : c.headers) {
    const Names functions = declaredFunctions(std::string("export-headers/") + header);
    ASSERT_FALSE(functions.empty()) << header;
    expected.insert(functions.begin(), functions.end());
  }
  ASSERT_TRUE(expected.count("startGamesource_Thread"));

  const Names table = exportTable(std::string("./") + c.file);
  ASSERT_FALSE(table.empty()) << c.file << " has no export table";
  Names exported;
  for (const std::string& name : table)
    exported.insert(name.rfind("_Z", 0) == 0 ? demangledFunction(name) : name);

  Names missing, extra;
  for (const std::string& name : expected)
    if (!exported.count(name)) missing.insert(name);
  for (const std::string& name : exported)
    if (!expected.count(name)) extra.insert(name);
  EXPECT_TRUE(missing.empty()) << c.file << " lacks:" << listed(missing);
  EXPECT_TRUE(extra.empty()) << c.file << " also exports:" << listed(extra);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, ExportTable,
    ::testing::Values(LibraryCase{"Shipped", platform::kPortRelayLibraryName, {"portrelay.h"}},
                      LibraryCase{"TestVariant", platform::kPortRelayTestLibraryName, {"portrelay.h", "seam_exports.h"}}),
    [](const ::testing::TestParamInfo<LibraryCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace portrelay
