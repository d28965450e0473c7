// The one DirectShow filter graph that plays the file opened last.
//
// Built in eleven checked steps around the decrypting source filter; every failing step raises
// EDirectShowException and leaves the references filled so far in place until the next
// ClearGraph. The window object owns one instance for its whole life.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "WQCryptoTypes.h"

// Which of the six references are filled.
struct TGraphState {
  bool GraphBuilder = false;
  bool MediaControl = false;
  bool FileSource = false;
  bool SourceFilter = false;
  bool CryptoControl = false;
  bool OutPin = false;

  bool operator==(const TGraphState&) const = default;
};

class TPlaybackGraph {
 public:
  TPlaybackGraph() = default;
  ~TPlaybackGraph();
  TPlaybackGraph(const TPlaybackGraph&) = delete;
  TPlaybackGraph& operator=(const TPlaybackGraph&) = delete;

  // Stops the graph (ignoring the result) and releases every reference. Raises nothing.
  void ClearGraph() noexcept;

  // Builds and runs the graph for FileName with KeyText handed to the source unchanged.
  // Call ClearGraph first.
  void BuildGraph(const std::wstring& FileName, const std::string& KeyText);

  // Run, Pause and Stop of the graph manager; nothing while there is no graph.
  void Play();
  void Pause();
  void Stop();

  TGraphState State() const;

  // The graph manager's control interface, for observers; null while there is no graph.
  IMediaControl* GraphControl() const noexcept { return MediaControl.Get(); }

 private:
  // Declaration order is the destructor's release order.
  Microsoft::WRL::ComPtr<IGraphBuilder> GraphBuilder;
  Microsoft::WRL::ComPtr<IMediaControl> MediaControl;
  Microsoft::WRL::ComPtr<IFileSourceFilter> FileSource;
  Microsoft::WRL::ComPtr<IBaseFilter> SourceFilter;
  Microsoft::WRL::ComPtr<IWQCryptoSourceControl> CryptoControl;
  Microsoft::WRL::ComPtr<IPin> OutPin;
};
