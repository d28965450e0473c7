// The playback graph against scripted fakes: call order, arguments, partial states after each
// failing step, release order and the commands with and without a graph.
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DirectShowResult.h"
#include "FakeGraph.h"
#include "ImportHook.h"
#include "PlaybackGraph.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

const std::wstring FileName = L"C:\\Media\\clip.kuz";
const std::string Key = "d47e09c3a1f85b2e6c70d9a4e13b8f56";

// The eleven steps of a build as the fakes log them, for the file and key above.
const std::vector<std::string> BuildCalls = {
    "create GraphManager",
    "GraphManager#1 QueryInterface IMediaControl",
    "create Source",
    "Source#1 QueryInterface IFileSourceFilter",
    "Source#1 Load \"C:\\Media\\clip.kuz\" no-type",
    "Source#1 QueryInterface IWQCryptoSourceControl",
    "Source#1 SetKey \"d47e09c3a1f85b2e6c70d9a4e13b8f56\"",
    "Source#1 FindPin \"Out\"",
    "GraphManager#1 AddFilter IBaseFilter of Source#1 \"WQCryptoSource\"",
    "GraphManager#1 Render IPin of Pin#1",
    "GraphManager#1 Run",
};

class PlaybackGraphTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Registration.Result, S_OK); }

  // The calls in the log, without the releases and destructions.
  std::vector<std::string> Calls() const {
    std::vector<std::string> Out;
    for (const auto& Line : World.Log)
      if (Line.rfind("release ", 0) != 0 && Line.rfind("destroy ", 0) != 0) Out.push_back(Line);
    return Out;
  }
  std::vector<std::string> Releases() const {
    std::vector<std::string> Out;
    for (const auto& Line : World.Log)
      if (Line.rfind("release ", 0) == 0) Out.push_back(Line);
    return Out;
  }

  FakeWorld World;
  FakeClassRegistration Registration{World};
  TPlaybackGraph Graph;
};

constexpr TGraphState Empty{};
constexpr TGraphState Full{true, true, true, true, true, true};

TEST_F(PlaybackGraphTest, BuildCallsTheElevenStepsInOrder) {
  Graph.BuildGraph(FileName, Key);
  EXPECT_THAT(Calls(), ElementsAreArray(BuildCalls));
  EXPECT_THAT(Releases(), IsEmpty());
  EXPECT_EQ(Graph.State(), Full);
}

TEST_F(PlaybackGraphTest, FileNameReachesLoadAsUtf16) {
  // Outside every ANSI code page at once: Cyrillic, Greek and a character beyond the BMP.
  Graph.BuildGraph(L"C:\\\u0444\u0438\u043B\u044C\u043C\\\u03A9 \U0001F3AC.kuz", Key);
  EXPECT_EQ(Calls()[4],
            "Source#1 Load \"C:\\\\u0444\\u0438\\u043B\\u044C\\u043C\\\\u03A9 \\uD83C\\uDFAC.kuz\" "
            "no-type");
}

TEST_F(PlaybackGraphTest, KeyTextReachesSetKeyUnchanged) {
  struct Case {
    std::string Key;
    std::string Logged;
  };
  const Case Cases[] = {
      {"", "SetKey \"\""},  // a pointer to NUL, never null
      {"  D47E-09c3 ", "SetKey \"  D47E-09c3 \""},
      {"\xE9t\xE9 100%s", "SetKey \"\\xE9t\\xE9 100%s\""},
      {std::string(300, 'a'), "SetKey \"" + std::string(300, 'a') + "\""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Logged);
    Graph.ClearGraph();
    World.Log.clear();
    Graph.BuildGraph(FileName, C.Key);
    const std::string SetKey = Calls().at(6);
    EXPECT_EQ(SetKey.substr(SetKey.find(' ') + 1), C.Logged);
  }
}

struct FailingStep {
  const char* Operation;  // the scripted operation
  HRESULT Code;
  size_t CallsMade;  // calls logged up to and including the failing one
  TGraphState Left;  // references filled afterwards
};

class PlaybackGraphFailureTest : public PlaybackGraphTest,
                                 public testing::WithParamInterface<FailingStep> {};

TEST_P(PlaybackGraphFailureTest, StopsAtTheFailingStepAndKeepsWhatWasFilled) {
  const FailingStep& Step = GetParam();
  World.Results[Step.Operation] = Step.Code;
  try {
    Graph.BuildGraph(FileName, Key);
    FAIL() << "no exception";
  } catch (const EDirectShowException& E) {
    EXPECT_EQ(E.ResultCode, Step.Code);
    EXPECT_EQ(std::string(E.what()), ResultMessage(ResultText(Step.Code), Step.Code));
  }
  std::vector<std::string> Expected(BuildCalls.begin(), BuildCalls.begin() + Step.CallsMade);
  EXPECT_THAT(Calls(), ElementsAreArray(Expected));
  EXPECT_EQ(Graph.State(), Step.Left);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, PlaybackGraphFailureTest,
    testing::Values(
        FailingStep{"create GraphManager", E_OUTOFMEMORY, 1, {}},
        FailingStep{"IMediaControl", E_NOINTERFACE, 2, {true}},
        FailingStep{"create Source", REGDB_E_CLASSNOTREG, 3, {true, true}},
        FailingStep{"IFileSourceFilter", E_NOINTERFACE, 4, {true, true, false, true}},
        FailingStep{"Load", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 5,
                    {true, true, true, true}},
        FailingStep{"IWQCryptoSourceControl", E_NOINTERFACE, 6, {true, true, true, true}},
        FailingStep{"SetKey", NTE_BAD_KEY, 7, {true, true, true, true, true}},
        FailingStep{"FindPin", VFW_E_NOT_FOUND, 8, {true, true, true, true, true}},
        FailingStep{"AddFilter", VFW_E_DUPLICATE_NAME, 9, Full},
        FailingStep{"Render", VFW_E_CANNOT_RENDER, 10, Full},
        FailingStep{"Run", E_FAIL, 11, Full}),
    [](const testing::TestParamInfo<FailingStep>& Info) {
      std::string Name = Info.param.Operation;
      for (char& C : Name)
        if (!isalnum(static_cast<unsigned char>(C))) C = '_';
      return Name;
    });

TEST_F(PlaybackGraphTest, PositiveSuccessCodesCountAsDone) {
  World.Results["AddFilter"] = VFW_S_DUPLICATE_NAME;
  World.Results["Render"] = VFW_S_PARTIAL_RENDER;
  World.Results["Run"] = S_FALSE;
  EXPECT_NO_THROW(Graph.BuildGraph(FileName, Key));
  EXPECT_THAT(Calls(), ElementsAreArray(BuildCalls));
  EXPECT_EQ(Graph.State(), Full);
}

TEST_F(PlaybackGraphTest, ClearGraphStopsThenReleasesInItsOrder) {
  Graph.BuildGraph(FileName, Key);
  World.Log.clear();
  Graph.ClearGraph();
  EXPECT_THAT(Calls(), ElementsAre("GraphManager#1 Stop"));
  EXPECT_THAT(Releases(), ElementsAre("release IWQCryptoSourceControl of Source#1",
                                      "release IBaseFilter of Source#1",
                                      "release IPin of Pin#1",
                                      "release IFileSourceFilter of Source#1",
                                      "release IMediaControl of GraphManager#1",
                                      "release IGraphBuilder of GraphManager#1"));
  EXPECT_EQ(World.LiveObjects, 0);
  EXPECT_EQ(Graph.State(), Empty);
}

TEST_F(PlaybackGraphTest, ClearGraphRaisesNothingWhenStopFails) {
  Graph.BuildGraph(FileName, Key);
  World.Results["Stop"] = E_UNEXPECTED;
  EXPECT_NO_THROW(Graph.ClearGraph());
  EXPECT_EQ(Graph.State(), Empty);
  EXPECT_EQ(World.LiveObjects, 0);
}

TEST_F(PlaybackGraphTest, ClearGraphReleasesAPartialGraph) {
  World.Results["SetKey"] = NTE_BAD_KEY;
  EXPECT_THROW(Graph.BuildGraph(FileName, Key), EDirectShowException);
  World.Log.clear();
  Graph.ClearGraph();
  EXPECT_THAT(Calls(), ElementsAre("GraphManager#1 Stop"));
  EXPECT_THAT(Releases(), ElementsAre("release IWQCryptoSourceControl of Source#1",
                                      "release IBaseFilter of Source#1",
                                      "release IFileSourceFilter of Source#1",
                                      "release IMediaControl of GraphManager#1",
                                      "release IGraphBuilder of GraphManager#1"));
  EXPECT_EQ(World.LiveObjects, 0);
}

TEST_F(PlaybackGraphTest, ClearGraphOfNothingCallsNothing) {
  Graph.ClearGraph();
  EXPECT_THAT(World.Log, IsEmpty());
}

TEST_F(PlaybackGraphTest, SecondBuildStartsAfterTheFirstGraphIsGone) {
  Graph.BuildGraph(FileName, Key);
  Graph.ClearGraph();
  Graph.BuildGraph(L"C:\\Media\\second.kuz", Key);

  std::vector<size_t> Creations;
  for (size_t I = 0; I < World.Log.size(); ++I)
    if (World.Log[I] == "create GraphManager") Creations.push_back(I);
  ASSERT_EQ(Creations.size(), 2u);
  for (const char* Destroyed : {"destroy GraphManager#1", "destroy Source#1", "destroy Pin#1"}) {
    auto Found = std::find(World.Log.begin(), World.Log.end(), Destroyed);
    ASSERT_NE(Found, World.Log.end()) << Destroyed;
    EXPECT_LT(size_t(Found - World.Log.begin()), Creations[1]) << Destroyed;
  }
  EXPECT_EQ(Graph.State(), Full);
}

TEST_F(PlaybackGraphTest, CommandsWithoutAGraphDoNothing) {
  EXPECT_NO_THROW(Graph.Play());
  EXPECT_NO_THROW(Graph.Pause());
  EXPECT_NO_THROW(Graph.Stop());
  EXPECT_THAT(World.Log, IsEmpty());
}

TEST_F(PlaybackGraphTest, CommandsReachTheGraphManagerAndAreChecked) {
  Graph.BuildGraph(FileName, Key);
  World.Log.clear();
  Graph.Pause();
  Graph.Stop();
  Graph.Play();
  EXPECT_THAT(Calls(), ElementsAre("GraphManager#1 Pause", "GraphManager#1 Stop",
                                   "GraphManager#1 Run"));

  const struct {
    const char* Operation;
    void (TPlaybackGraph::*Command)();
  } Commands[] = {{"Run", &TPlaybackGraph::Play},
                  {"Pause", &TPlaybackGraph::Pause},
                  {"Stop", &TPlaybackGraph::Stop}};
  for (const auto& Command : Commands) {
    SCOPED_TRACE(Command.Operation);
    World.Results[Command.Operation] = VFW_E_WRONG_STATE;
    try {
      (Graph.*Command.Command)();
      ADD_FAILURE() << "no exception";
    } catch (const EDirectShowException& E) {
      EXPECT_EQ(E.ResultCode, VFW_E_WRONG_STATE);
    }
    World.Results[Command.Operation] = S_FALSE;  // a success code passes
    EXPECT_NO_THROW((Graph.*Command.Command)());
  }
  EXPECT_EQ(Graph.State(), Full);
}

TEST_F(PlaybackGraphTest, CommandsOnAPartialGraphReachTheGraphManager) {
  World.Results["create Source"] = REGDB_E_CLASSNOTREG;
  EXPECT_THROW(Graph.BuildGraph(FileName, Key), EDirectShowException);
  World.Log.clear();
  World.Results["Run"] = E_FAIL;
  EXPECT_THROW(Graph.Play(), EDirectShowException);
  EXPECT_THAT(Calls(), ElementsAre("GraphManager#1 Run"));
}

TEST_F(PlaybackGraphTest, DestructionReleasesInDeclarationOrderWithoutStop) {
  {
    TPlaybackGraph Owned;
    Owned.BuildGraph(FileName, Key);
    World.Log.clear();
  }
  EXPECT_THAT(Calls(), IsEmpty());
  EXPECT_THAT(Releases(), ElementsAre("release IGraphBuilder of GraphManager#1",
                                      "release IMediaControl of GraphManager#1",
                                      "release IFileSourceFilter of Source#1",
                                      "release IBaseFilter of Source#1",
                                      "release IWQCryptoSourceControl of Source#1",
                                      "release IPin of Pin#1"));
  EXPECT_EQ(World.LiveObjects, 0);
}

// Both creations ask for in-process server or handler (context 3) with no outer object.
struct CreationCall {
  CLSID Class;
  IUnknown* Outer;
  DWORD Context;
  IID Interface;
};
std::vector<CreationCall>* RecordedCreations = nullptr;
ImportHook* CreationHook = nullptr;

HRESULT WINAPI RecordingCoCreateInstance(REFCLSID Class, IUnknown* Outer, DWORD Context,
                                         REFIID Interface, void** Out) {
  RecordedCreations->push_back({Class, Outer, Context, Interface});
  return CreationHook->Original<decltype(&CoCreateInstance)>()(Class, Outer, Context, Interface,
                                                               Out);
}

TEST_F(PlaybackGraphTest, CreatesInProcessWithoutOuterObject) {
  std::vector<CreationCall> Creations;
  RecordedCreations = &Creations;
  ImportHook Hook("ole32.dll", "CoCreateInstance",
                  reinterpret_cast<const void*>(&RecordingCoCreateInstance));
  CreationHook = &Hook;
  ASSERT_TRUE(Hook.Installed());
  Graph.BuildGraph(FileName, Key);

  ASSERT_EQ(Creations.size(), 2u);
  EXPECT_TRUE(Creations[0].Class == CLSID_FilterGraph);
  EXPECT_TRUE(Creations[0].Interface == IID_IGraphBuilder);
  EXPECT_TRUE(Creations[1].Class == CLSID_WQCryptoSource);
  EXPECT_TRUE(Creations[1].Interface == IID_IBaseFilter);
  for (const CreationCall& Call : Creations) {
    EXPECT_EQ(Call.Context, 3u);
    EXPECT_EQ(Call.Outer, nullptr);
  }
}

}  // namespace
