// The panel's page, its script and the chart library, built into the program
// (generated from tools/portrelay/panel/ and the chart library's files).
#pragma once
#include <cstddef>

namespace host {

struct PanelAsset {
  const char* path;         // "/panel.js"
  const char* contentType;  // "text/javascript; charset=utf-8"
  const unsigned char* data;
  size_t size;
};

extern const PanelAsset kPanelAssets[];
extern const size_t kPanelAssetCount;

}  // namespace host
