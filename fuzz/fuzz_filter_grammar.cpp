// Structure-aware filter strings: the input drives a generator of the filter
// grammar (keyword, case, spacing, number forms: decimal with '.' or ',',
// signs, hexadecimal, digit strings beyond the float range), so byte
// mutations become changes of the chain (a keyword swapped, a level added, a
// number rewritten) and chains up to and beyond the length limit are reached.
// Optionally one fault from a list of certain rejections is planted.
//
// The generator knows what the parser must do: a well-formed string is
// accepted with exactly the generated kinds and arguments (narrowed to float),
// a planted fault or an over-long chain is rejected. An accepted chain, fed
// the rest of the input as values (any bit pattern), gives finite outputs,
// keeps finite node memory, and a fresh parse of the same string gives the
// same outputs again.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/chain_evaluation.h"
#include "filters/filter_parser.h"

namespace {

using namespace portrelay;

struct KindInfo {
  const char* keyword;
  int arguments;
};
// By kind code 0..18.
constexpr KindInfo kKinds[] = {{"VALUE", 0},  {"EMALP", 1},    {"EMAHP", 1},          {"MUL", 1},   {"GAIN", 1},
                               {"LOGISTIC", 2}, {"CROP", 2},   {"ROLLOVER", 1},       {"REMAP", 4}, {"NOISE", 3},
                               {"BITSCALE", 2}, {"BITSCALESIGNED", 2}, {"SINUS", 2},  {"ABS", 0},   {"SETVALUE", 1},
                               {"ADD", 1},      {"SPIKE", 4},  {"EDYNLP", 3},         {"LDYNLP", 3}};

enum Fault { kNone, kExponent, kUpperHex, kShortTimeConstant, kEmptyRange, kAbsNumber, kUnknownKeyword, kMissing,
             kEmpty, kInnerValue, kFaults };

struct Level {
  int kind = 0;
  double args[4] = {};
  std::vector<std::string> texts;
};

struct Number {
  std::string text;
  double value = 0.0;
  bool certain = true;  // the parser's answer is known for sure
};

Number number(FuzzedDataProvider& in) {
  Number n;
  char buffer[64];
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: {
      const int v = in.ConsumeIntegralInRange<int>(-100000, 100000);
      std::snprintf(buffer, sizeof buffer, "%d", v);
      n.text = buffer;
      break;
    }
    case 1:
    case 2: {
      const int whole = in.ConsumeIntegralInRange<int>(-9999, 9999);
      const unsigned fraction = in.ConsumeIntegralInRange<unsigned>(0, 999999);
      std::snprintf(buffer, sizeof buffer, "%s%d.%06u", whole == 0 && in.ConsumeBool() ? "-" : "", whole, fraction);
      n.text = buffer;
      break;
    }
    case 3: {
      std::snprintf(buffer, sizeof buffer, in.ConsumeBool() ? "0x%X" : "0x%x", in.ConsumeIntegral<uint32_t>());
      n.text = buffer;
      break;
    }
    case 4: {
      std::snprintf(buffer, sizeof buffer, "-0x%x", in.ConsumeIntegral<uint32_t>());
      n.text = buffer;
      break;
    }
    case 5: {
      // Long digit strings: beyond the float range when narrowed, or the
      // double range; what the parser does with these is not fixed here.
      n.text = std::string(in.ConsumeIntegralInRange<size_t>(1, 330), '9');
      n.certain = false;
      break;
    }
    case 6: {
      std::snprintf(buffer, sizeof buffer, "0.%0*d1", in.ConsumeIntegralInRange<int>(0, 60), 0);
      n.text = buffer;  // tiny: a zero once narrowed to float
      n.certain = false;
      break;
    }
    default: {
      std::snprintf(buffer, sizeof buffer, " +%u ", in.ConsumeIntegralInRange<unsigned>(0, 5000));
      n.text = buffer;
      break;
    }
  }
  // The value as the parser reads it: ',' for '.', spaces trimmed, hex integers.
  std::string plain;
  for (char c : n.text)
    if (c != ' ') plain += c;
  const bool negative = plain[0] == '-';
  if (plain.compare(negative, 2, "0x") == 0) {
    const double magnitude = static_cast<double>(std::strtoull(plain.c_str() + negative + 2, nullptr, 16));
    n.value = negative ? -magnitude : magnitude;
  } else {
    n.value = std::strtod(plain.c_str(), nullptr);
  }
  if (n.certain && in.ConsumeBool()) {
    const size_t dot = n.text.find('.');
    if (dot != std::string::npos) n.text[dot] = ',';
  }
  return n;
}

std::string keywordText(FuzzedDataProvider& in, const char* keyword) {
  std::string text = keyword;
  const uint8_t cases = in.ConsumeIntegral<uint8_t>();
  for (size_t i = 0; i < text.size(); ++i)
    if (cases & (1u << (i % 8))) text[i] = static_cast<char>(text[i] - 'A' + 'a');
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int depth = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 8) : in.ConsumeIntegralInRange<int>(0, 135);
  const auto fault = static_cast<Fault>(in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<int>(0, kFaults - 1));
  const int faultLevel = depth > 0 ? in.ConsumeIntegralInRange<int>(0, depth - 1) : 0;
  bool certain = true;
  bool rejected = static_cast<size_t>(depth) + 1 > kMaxChainNodes;

  // Outermost first.
  std::vector<Level> levels(static_cast<size_t>(depth));
  for (int i = 0; i < depth; ++i) {
    Level& level = levels[static_cast<size_t>(i)];
    level.kind = in.ConsumeIntegralInRange<int>(1, 18);
    for (int a = 0; a < kKinds[level.kind].arguments; ++a) {
      Number n = number(in);
      if ((level.kind == 1 || level.kind == 2) && a == 0 && n.value < 1.0) {
        n.text = std::to_string(in.ConsumeIntegralInRange<int>(1, 100000));
        n.value = std::strtod(n.text.c_str(), nullptr);
        n.certain = true;
      }
      if (level.kind == 8 && a == 1 && std::fabs(n.value - level.args[0]) < 1e-9) {
        n.text = "0x1";
        n.value = 1.0;
        if (level.args[0] == 1.0) n.text = "-0x1", n.value = -1.0;
        n.certain = true;
      }
      certain = certain && n.certain;
      level.args[a] = n.value;
      level.texts.push_back(n.text);
    }
  }

  std::string keywordFault;
  if (depth > 0 && fault != kNone) {
    Level& level = levels[static_cast<size_t>(faultLevel)];
    const int arguments = kKinds[level.kind].arguments;
    Fault planted = fault;
    if ((planted == kShortTimeConstant && level.kind != 1 && level.kind != 2) ||
        (planted == kEmptyRange && level.kind != 8) || (planted == kAbsNumber && level.kind != 13) ||
        ((planted == kMissing || planted == kEmpty || planted == kExponent || planted == kUpperHex) && arguments == 0))
      planted = kUnknownKeyword;
    switch (planted) {
      case kExponent: level.texts[in.ConsumeIntegralInRange<size_t>(0, arguments - 1)] = "1e3"; break;
      case kUpperHex: level.texts[in.ConsumeIntegralInRange<size_t>(0, arguments - 1)] = "0X10"; break;
      case kShortTimeConstant: level.texts[0] = in.ConsumeBool() ? "0.99" : "-0x5"; break;
      case kEmptyRange: level.texts[1] = level.texts[0]; break;
      case kAbsNumber: level.texts.push_back("2"); break;
      case kUnknownKeyword: keywordFault = in.ConsumeBool() ? "GAINX" : "VALUES"; break;
      case kMissing: level.texts.pop_back(); break;
      case kEmpty: level.texts[static_cast<size_t>(arguments - 1)] = ""; break;
      default: break;
    }
    rejected = true;  // every planted fault is a certain rejection
    if (planted == kUnknownKeyword) levels[static_cast<size_t>(faultLevel)].kind = -1;
  }

  // Innermost first.
  std::string text = "VALUE";
  if (depth > 0 && fault == kInnerValue) text = in.ConsumeBool() ? "value" : " VALUE";
  for (int i = depth - 1; i >= 0; --i) {
    const Level& level = levels[static_cast<size_t>(i)];
    std::string inner = text;
    if (i < depth - 1 && in.ConsumeBool()) inner = " " + inner + " ";  // spacing around an inner keyword
    text = level.kind < 0 ? keywordFault : keywordText(in, kKinds[level.kind].keyword);
    text += "(" + inner;
    for (const std::string& t : level.texts) text += ";" + t;
    text += ")";
  }
  if (in.ConsumeBool()) text = " \t" + text + "\r\n";
  if (depth > 0 && in.ConsumeBool()) text += "tail;9";

  const auto head = parseFilterString(text);
  const bool accepted = head->valid.load();
  if (certain && accepted == rejected) std::abort();
  if (!accepted) return 0;

  // Structure: the generated kinds, then VALUE, with the narrowed arguments.
  const FilterSys* node = head.get();
  for (int i = 0; i < depth; ++i, node = node->nextNode()) {
    const Level& level = levels[static_cast<size_t>(i)];
    if (node == nullptr || static_cast<int>(node->kind) != level.kind) std::abort();
    const float p[4] = {node->p1, node->p2, node->p3, node->p4};
    for (int a = 0; a < 4; ++a)
      if (certain && p[a] != static_cast<float>(level.args[a])) std::abort();
  }
  if (node == nullptr || node->kind != FilterKind::Value || node->nextNode() != nullptr) std::abort();

  // Evaluation of the rest of the input, twice on fresh chains.
  const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
  const size_t calls = 64 + (rest.size() / sizeof(double) > 448 ? 448 : rest.size() / sizeof(double));
  const auto again = parseFilterString(text);
  if (!again->valid.load()) std::abort();
  for (size_t i = 0; i < calls; ++i) {
    double x = static_cast<double>(i % 11) - 5.0;
    if ((i + 1) * sizeof(double) <= rest.size()) std::memcpy(&x, rest.data() + i * sizeof(double), sizeof x);
    const double out = evaluateChain(*head, x, 1.0, 1.0, 1.0);
    const double repeat = evaluateChain(*again, x, 1.0, 1.0, 1.0);
    if (!std::isfinite(out) || std::memcmp(&out, &repeat, sizeof out) != 0) std::abort();
  }
  for (const FilterSys* n = head.get(); n != nullptr; n = n->nextNode()) {
    if (!std::isfinite(n->state)) std::abort();
    if (n->noise && !std::isfinite(n->noise->elapsed)) std::abort();
  }
  return 0;
}
