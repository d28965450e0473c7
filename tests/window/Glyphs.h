// The four button glyphs as pictures: '#' black, '.' white. Written from the glyphs' pixel
// descriptions independently of the generator that makes the resources.
#pragma once

#include <string>
#include <vector>

struct GlyphPicture {
  const char* Resource;
  int ButtonId;
  std::vector<std::string> Rows;
};

std::vector<GlyphPicture> ExpectedGlyphs();
