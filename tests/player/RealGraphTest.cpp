// The playback graph against the platform's real graph manager, with no decrypting source
// registered in this prefix.
#include <gtest/gtest.h>

#include "DirectShowResult.h"
#include "PlaybackGraph.h"

namespace {

OAFilterState StateOf(IMediaControl* Control) {
  OAFilterState State = -1;
  EXPECT_EQ(Control->GetState(1000, &State), S_OK);
  return State;
}

TEST(RealGraphTest, MissingSourceFailsAtItsCreationAndTheGraphStaysPlayable) {
  TPlaybackGraph Graph;
  try {
    Graph.BuildGraph(L"C:\\clip.kuz", "d47e09c3a1f85b2e6c70d9a4e13b8f56");
    FAIL() << "no exception";
  } catch (const EDirectShowException& E) {
    EXPECT_EQ(E.ResultCode, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(std::string(E.what()), ResultText(REGDB_E_CLASSNOTREG) + " ($80040154).");
  }
  EXPECT_EQ(Graph.State(), (TGraphState{true, true, false, false, false, false}));

  // The graph manager is real: play, pause and stop reach it and their results are checked.
  IMediaControl* Control = Graph.GraphControl();
  ASSERT_NE(Control, nullptr);
  EXPECT_NO_THROW(Graph.Play());
  EXPECT_EQ(StateOf(Control), State_Running);
  EXPECT_NO_THROW(Graph.Pause());
  EXPECT_EQ(StateOf(Control), State_Paused);
  EXPECT_NO_THROW(Graph.Stop());
  EXPECT_EQ(StateOf(Control), State_Stopped);

  Graph.ClearGraph();
  EXPECT_EQ(Graph.State(), TGraphState{});
}

}  // namespace
