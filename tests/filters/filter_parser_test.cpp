// Which filter strings are accepted, and the chains they build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/filter_parser.h"

namespace portrelay {
namespace {

struct NodeShape {
  FilterKind kind;
  float p1 = 0, p2 = 0, p3 = 0, p4 = 0;
};

struct ParseCase {
  std::string text;
  std::vector<NodeShape> chain;  // head to tail; empty: the string is rejected
};

std::vector<NodeShape> shapeOf(const FilterSys& head) {
  std::vector<NodeShape> shape;
  for (const FilterSys* node = &head; node != nullptr; node = node->nextNode())
    shape.push_back({node->kind, node->p1, node->p2, node->p3, node->p4});
  return shape;
}

void expectParse(const ParseCase& c) {
  SCOPED_TRACE(c.text);
  const auto head = parseFilterString(c.text);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->valid.load(), !c.chain.empty());
  if (c.chain.empty()) {  // a lone default node
    EXPECT_EQ(head->kind, FilterKind::Value);
    EXPECT_EQ(head->name, "");
    EXPECT_EQ(head->nextNode(), nullptr);
    EXPECT_EQ(head->p1, 0.0f);
    return;
  }
  const auto shape = shapeOf(*head);
  ASSERT_EQ(shape.size(), c.chain.size());
  for (size_t i = 0; i < shape.size(); ++i) {
    EXPECT_EQ(shape[i].kind, c.chain[i].kind) << i;
    EXPECT_EQ(shape[i].p1, c.chain[i].p1) << i;
    EXPECT_EQ(shape[i].p2, c.chain[i].p2) << i;
    EXPECT_EQ(shape[i].p3, c.chain[i].p3) << i;
    EXPECT_EQ(shape[i].p4, c.chain[i].p4) << i;
  }
}

using K = FilterKind;
const NodeShape V{K::Value};

const ParseCase kParseCases[] = {
        ParseCase{"VALUE", {V}},
        ParseCase{"  VALUE \t\r\n", {V}},
        ParseCase{"value", {}},
        ParseCase{"Value", {}},
        ParseCase{"gain(VALUE;2)", {{K::Gain, 2}, V}},
        ParseCase{" Gain (VALUE;2)", {{K::Gain, 2}, V}},
        ParseCase{"GAIN(value;2)", {}},
        ParseCase{"GAIN( VALUE;2)", {}},
        ParseCase{"GAIN(VALUE ;2)", {}},
        ParseCase{"GAIN( EMALP(VALUE;10);2)", {{K::Gain, 2}, {K::Emalp, 10}, V}},
        ParseCase{"GAIN(VALUE;2)xyz", {{K::Gain, 2}, V}},
        ParseCase{"GAIN(VALUE;2))", {}},
        ParseCase{"GAIN(VALUE;2;3)", {}},
        ParseCase{"GAIN(VALUE)", {}},
        ParseCase{"GAIN(VALUE;)", {}},
        ParseCase{"GAIN(VALUE;0,5)", {{K::Gain, 0.5f}, V}},
        ParseCase{"GAIN(VALUE;1.2.3)", {{K::Gain, 1.2f}, V}},
        ParseCase{"GAIN(VALUE;1e3)", {}},
        ParseCase{"GAIN(VALUE;0X10)", {}},
        ParseCase{"GAIN(VALUE;0x10)", {{K::Gain, 16}, V}},
        ParseCase{"ADD(VALUE;-0x10)", {{K::Add, -16}, V}},
        ParseCase{"MUL(VALUE;3)", {{K::Mul, 3}, V}},
        ParseCase{"SETVALUE(VALUE;-4)", {{K::SetValue, -4}, V}},
        ParseCase{"EMALP(VALUE;1)", {{K::Emalp, 1}, V}},
        ParseCase{"EMALP(VALUE;0.99)", {}},
        ParseCase{"EMAHP(VALUE;0,5)", {}},
        ParseCase{"EMAHP(VALUE;10)", {{K::Emahp, 10}, V}},
        ParseCase{"REMAP(VALUE;5;5;0;1)", {}},
        ParseCase{"REMAP(VALUE;0;10;-1;1)", {{K::Remap, 0, 10, -1, 1}, V}},
        ParseCase{"SPIKE(VALUE;1;2;3)", {}},
        ParseCase{"SPIKE(VALUE;1;2;3;4)", {{K::Spike, 1, 2, 3, 4}, V}},
        ParseCase{"EDYNLP(VALUE;1;2)", {}},
        ParseCase{"EDYNLP(VALUE;1;2;3)", {{K::Edynlp, 1, 2, 3}, V}},
        ParseCase{"LDYNLP(VALUE;0.5;2;0)", {{K::Ldynlp, 0.5f, 2}, V}},
        ParseCase{"NOISE(VALUE;1;100;7)", {{K::Noise, 1, 100, 7}, V}},
        ParseCase{"CROP(VALUE;-1;1)", {{K::Crop, -1, 1}, V}},
        ParseCase{"LOGISTIC(VALUE;10;1)", {{K::Logistic, 10, 1}, V}},
        ParseCase{"ROLLOVER(VALUE;1)", {{K::Rollover, 1}, V}},
        ParseCase{"BITSCALE(VALUE;100;255)", {{K::Bitscale, 100, 255}, V}},
        ParseCase{"BITSCALESIGNED(VALUE;100;255)", {{K::BitscaleSigned, 100, 255}, V}},
        ParseCase{"SINUS(VALUE;2;1)", {{K::Sinus, 2, 1}, V}},
        ParseCase{"ABS(VALUE)", {{K::Abs}, V}},
        ParseCase{"ABS(VALUE;2)", {}},
        ParseCase{"ABS(GAIN(VALUE;2))", {{K::Abs}, {K::Gain, 2}, V}},
        ParseCase{"EMALP(GAIN(VALUE;2);10)", {{K::Emalp, 10}, {K::Gain, 2}, V}},
        ParseCase{"Emalp(crop(VALUE;-1;1);10)", {{K::Emalp, 10}, {K::Crop, -1, 1}, V}},
        ParseCase{"FOO(VALUE;1)", {}},
        ParseCase{"VALUE(VALUE;1)", {}},
        ParseCase{"", {}},
        ParseCase{"   ", {}},
        ParseCase{"GAIN", {}},
        ParseCase{"GAIN)VALUE;2(", {}},
        ParseCase{"(VALUE;2)", {}},
        // Arguments are kept as floats: a finite double beyond the float range
        // (40 digits) fails; the largest floats are still accepted.
        ParseCase{"GAIN(VALUE;1" + std::string(39, '0') + ")", {}},
        ParseCase{"ADD(VALUE;-1" + std::string(39, '0') + ")", {}},
        ParseCase{"SPIKE(VALUE;1;2;3;1" + std::string(39, '0') + ")", {}},
        ParseCase{"EMALP(VALUE;" + std::string(40, '9') + ",5)", {}},
        ParseCase{"GAIN(VALUE;3" + std::string(38, '0') + ")", {{K::Gain, 3e38f}, V}},
        ParseCase{"ADD(VALUE;-3" + std::string(38, '0') + ",0)", {{K::Add, -3e38f}, V}},
};

TEST(FilterParser, AcceptsExactlyTheGrammar) {
  for (const ParseCase& c : kParseCases) expectParse(c);
}

TEST(FilterParser, LinksPointBackToTheOuterNode) {
  const auto head = parseFilterString("EMALP(GAIN(VALUE;2);10)");
  FilterSys* gain = head->nextNode();
  ASSERT_NE(gain, nullptr);
  FilterSys* value = gain->nextNode();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->previousNode().get(), gain);
  EXPECT_EQ(gain->previousNode().get(), head.get());
  EXPECT_EQ(head->previousNode(), nullptr);
  EXPECT_EQ(head->name, "EMALP");
  EXPECT_EQ(gain->name, "GAIN");
  EXPECT_EQ(value->name, "VALUE");
  EXPECT_FALSE(gain->valid.load());  // only the head carries the flag
}

TEST(FilterParser, KindNames) {
  EXPECT_EQ(filterKindName(FilterKind::BitscaleSigned), "BITSCALESIGNED");
  EXPECT_EQ(filterKindName(FilterKind::Ldynlp), "LDYNLP");
  EXPECT_EQ(filterKindName(static_cast<FilterKind>(19)), "UNKNOWN");
  EXPECT_EQ(filterKindName(static_cast<FilterKind>(-1)), "UNKNOWN");
}

std::string nested(const std::string& open, size_t depth, const std::string& inner,
                   const std::string& close) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += open;
  text += inner;
  for (size_t i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(FilterParser, ChainLengthIsBounded) {
  EXPECT_TRUE(parseFilterString(nested("ABS(", kMaxChainNodes - 1, "VALUE", ")"))->valid.load());
  EXPECT_FALSE(parseFilterString(nested("ABS(", kMaxChainNodes, "VALUE", ")"))->valid.load());
}

// Huge, deep or malformed strings fail without recursion, in linear time.
TEST(FilterParser, HugeStringsFailQuickly) {
  EXPECT_FALSE(parseFilterString(nested("ABS(", 200000, "VALUE", ")"))->valid.load());
  EXPECT_FALSE(parseFilterString(nested("GAIN(", 200000, "VALUE", ";2)"))->valid.load());
  EXPECT_FALSE(parseFilterString(std::string(1 << 20, '('))->valid.load());
  EXPECT_FALSE(parseFilterString(std::string(1 << 20, ';'))->valid.load());
  // Every ABS level looks at the same long number and the same ';'.
  const std::string digits(1 << 20, '1');
  EXPECT_FALSE(parseFilterString(nested("ABS(", 100, "VALUE;" + digits, ")1"))->valid.load());
  EXPECT_FALSE(parseFilterString("GAIN(VALUE;" + digits + ")")->valid.load());  // overflow
  EXPECT_TRUE(parseFilterString("GAIN(VALUE;0." + digits + ")")->valid.load());
}

}  // namespace
}  // namespace portrelay
