#include "SampleMedia.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "kuz/Io.h"
#include "kuz/KeyText.h"
#include "kuz/Writer.h"

namespace {

class FileSink final : public kuz::ByteSink {
 public:
  explicit FileSink(const std::wstring& Path) : File(_wfopen(Path.c_str(), L"wb")) {}
  ~FileSink() override {
    if (File) fclose(File);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool Opened() const { return File != nullptr; }
  // Closes the file; false when its last bytes could not be written.
  bool Close() {
    const bool Closed = File && fclose(File) == 0;
    File = nullptr;
    return Closed;
  }
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    return fwrite(Data.data(), 1, Data.size(), File) == Data.size() ? kuz::Success()
                                                                    : kuz::Failure(kuz::Error::WriteFailed);
  }

 private:
  FILE* File;
};

std::vector<std::uint8_t> ReadAll(const std::string& Path) {
  std::vector<std::uint8_t> Bytes;
  if (FILE* In = fopen(Path.c_str(), "rb")) {
    std::uint8_t Buffer[65536];
    for (size_t Got; (Got = fread(Buffer, 1, sizeof Buffer, In)) > 0;) Bytes.insert(Bytes.end(), Buffer, Buffer + Got);
    fclose(In);
  }
  return Bytes;
}

struct VideoWindowSearch {
  DWORD Process;
  HWND Found;
};

BOOL CALLBACK FindVideoWindow(HWND Window, LPARAM Parameter) {
  auto* Search = reinterpret_cast<VideoWindowSearch*>(Parameter);
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process == Search->Process && IsWindowVisible(Window) && TextOf(Window) == L"ActiveMovie Window")
    Search->Found = Window;
  return TRUE;
}

}  // namespace

bool WriteKuzFile(const std::wstring& Path, std::span<const std::uint8_t> Plaintext, const char* KeyText) {
  kuz::InputKey Key;
  kuz::StreamWriter Writer;
  FileSink Sink(Path);
  return Sink.Opened() && kuz::ParseKeyText(KeyText, Key).Ok() && Writer.Start(Sink, Key.Bytes()).Ok() &&
         Writer.Write(Plaintext).Ok() && Writer.Finish().Ok() && Sink.Close();
}

std::wstring WriteSampleKuz(const std::string& Clip, const std::wstring& Name) {
  const std::vector<std::uint8_t> Plain = ReadAll(Clip);
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  const std::wstring Out = std::wstring(Temp) + Name;
  return !Plain.empty() && WriteKuzFile(Out, Plain, SampleKeyText) ? Out : std::wstring();
}

HWND VideoWindowOf(const PlayerProcess& Player) {
  VideoWindowSearch Search{Player.ProcessId(), nullptr};
  EnumWindows(FindVideoWindow, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}
