// What a chain does before the seat feels it: its step response and, for a
// linear chain, its frequency response, computed with the filter lab library
// (the engine's own filter code) loaded beside this program.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace portrelay::platform {
class DynamicLibrary;
}

namespace host {

struct ChainResponse {
  std::vector<double> stepTimes, stepValues;          // seconds, output for a unit step at 0
  bool linear = false;                                 // only such chains have a frequency response
  std::vector<double> frequencies, gains, phases;      // Hz, output/input, degrees
  std::vector<std::string> kinds;                      // the chain's keywords, outermost first
};

class FilterResponse {
 public:
  FilterResponse();
  ~FilterResponse();
  // False when the lab library is not beside the program.
  bool available() const { return evaluate_ != nullptr; }
  // False for a string the parser refuses (check it first for the reason).
  bool compute(const std::string& filter, ChainResponse& response) const;

 private:
  std::unique_ptr<portrelay::platform::DynamicLibrary> library_;
  int32_t (*evaluate_)(const char*, const double*, int32_t, double, double*) = nullptr;
  int32_t (*chainKinds_)(const char*, int32_t*, int32_t) = nullptr;
  const char* (*kindName_)(int32_t) = nullptr;
};

}  // namespace host
