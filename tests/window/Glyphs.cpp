#include "Glyphs.h"

namespace {

std::vector<std::string> Blank(int Width, int Height) {
  return std::vector<std::string>(static_cast<size_t>(Height), std::string(static_cast<size_t>(Width), '.'));
}

void Fill(std::vector<std::string>& Rows, int FirstRow, int LastRow, int FirstColumn, int LastColumn) {
  for (int Row = FirstRow; Row <= LastRow; ++Row)
    for (int Column = FirstColumn; Column <= LastColumn; ++Column) Rows[Row][Column] = '#';
}

}  // namespace

std::vector<GlyphPicture> ExpectedGlyphs() {
  // Open folder, 19 x 16: an outline with a solid front flap.
  GlyphPicture Open{"GLYPH_OPEN", 101,
                    {
                        "...................",
                        "...................",
                        "...................",
                        "....####...........",
                        "...######..........",
                        "...#############...",
                        "...#...........##..",
                        "..###########...#..",
                        "..############..#..",
                        "..#############.#..",
                        "...############.#..",
                        "...##############..",
                        "....############...",
                        "...................",
                        "...................",
                        "...................",
                    }};

  // Play, 28 x 28: a triangle pointing right.
  GlyphPicture Play{"GLYPH_PLAY", 102,
                    {
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                        "......##....................",
                        "......####..................",
                        "......######................",
                        "......########..............",
                        "......##########............",
                        "......############..........",
                        "......##############........",
                        "......################......",
                        "......################......",
                        "......##############........",
                        "......############..........",
                        "......##########............",
                        "......########..............",
                        "......######................",
                        "......####..................",
                        "......##....................",
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                        "............................",
                    }};

  // Pause, 28 x 28: two bars, columns 6 to 11 and 16 to 21, rows 6 to 21.
  GlyphPicture Pause{"GLYPH_PAUSE", 103, Blank(28, 28)};
  Fill(Pause.Rows, 6, 21, 6, 11);
  Fill(Pause.Rows, 6, 21, 16, 21);

  // Stop, 28 x 28: a square, columns and rows 6 to 21.
  GlyphPicture Stop{"GLYPH_STOP", 104, Blank(28, 28)};
  Fill(Stop.Rows, 6, 21, 6, 21);

  return {Open, Play, Pause, Stop};
}
