#include "PlaybackGraph.h"

#include "DirectShowResult.h"

namespace {

// In-process server or in-process handler.
constexpr DWORD InprocContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

const wchar_t OutPinName[] = L"Out";
const wchar_t SourceFilterName[] = L"WQCryptoSource";

// ReleaseAndGetAddressOf empties the reference immediately before the call that fills it.
template <class Interface>
void** Fill(Microsoft::WRL::ComPtr<Interface>& Reference) {
  return reinterpret_cast<void**>(Reference.ReleaseAndGetAddressOf());
}

}  // namespace

TPlaybackGraph::~TPlaybackGraph() {
  // Members would be destroyed in reverse order; the graph manager goes first instead.
  GraphBuilder.Reset();
  MediaControl.Reset();
  FileSource.Reset();
  SourceFilter.Reset();
  CryptoControl.Reset();
  OutPin.Reset();
}

void TPlaybackGraph::ClearGraph() noexcept {
  if (MediaControl) MediaControl->Stop();
  CryptoControl.Reset();
  SourceFilter.Reset();
  OutPin.Reset();
  FileSource.Reset();
  MediaControl.Reset();
  GraphBuilder.Reset();
}

void TPlaybackGraph::BuildGraph(const std::wstring& FileName, const std::string& KeyText) {
  CheckResult(CoCreateInstance(CLSID_FilterGraph, nullptr, InprocContext, IID_IGraphBuilder,
                               Fill(GraphBuilder)));
  CheckResult(GraphBuilder->QueryInterface(IID_IMediaControl, Fill(MediaControl)));
  CheckResult(CoCreateInstance(CLSID_WQCryptoSource, nullptr, InprocContext, IID_IBaseFilter,
                               Fill(SourceFilter)));
  CheckResult(SourceFilter->QueryInterface(IID_IFileSourceFilter, Fill(FileSource)));
  CheckResult(FileSource->Load(FileName.c_str(), nullptr));
  CheckResult(SourceFilter->QueryInterface(IID_IWQCryptoSourceControl, Fill(CryptoControl)));
  // c_str() is never null: an empty key field arrives as a pointer to NUL.
  CheckResult(CryptoControl->SetKey(KeyText.c_str()));
  CheckResult(SourceFilter->FindPin(OutPinName, OutPin.ReleaseAndGetAddressOf()));
  CheckResult(GraphBuilder->AddFilter(SourceFilter.Get(), SourceFilterName));
  CheckResult(GraphBuilder->Render(OutPin.Get()));
  CheckResult(MediaControl->Run());
}

void TPlaybackGraph::Play() {
  if (MediaControl) CheckResult(MediaControl->Run());
}

void TPlaybackGraph::Pause() {
  if (MediaControl) CheckResult(MediaControl->Pause());
}

void TPlaybackGraph::Stop() {
  if (MediaControl) CheckResult(MediaControl->Stop());
}

TGraphState TPlaybackGraph::State() const {
  return {GraphBuilder != nullptr, MediaControl != nullptr, FileSource != nullptr,
          SourceFilter != nullptr, CryptoControl != nullptr, OutPin != nullptr};
}
