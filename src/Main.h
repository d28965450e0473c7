// The main window Form1: four picture buttons (open, play, pause, stop) and the key field,
// mapped onto the playback graph it owns for its whole life.
#pragma once

#include <windows.h>

#include <string>

#include "Form.h"
#include "OpenDialog.h"
#include "PlaybackGraph.h"
#include "Win32Handles.h"

class TForm1 : public TForm {
 public:
  explicit TForm1(TApplication& Application);

 protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override;

 private:
  // Event handlers.
  void Button1Click();
  void FormClose();
  void Button2Click();
  void Button3Click();
  void Button4Click();

  void CreateControls();
  void OnCommand(int Id, int Notification);
  void OnDrawItem(const DRAWITEMSTRUCT& Item);
  void OnActivate(bool Active);
  std::string Edit1Text() const;
  int Scale(int DesignPixels) const;

  // Components, in their declaration order.
  TOpenDialog OpenDialog1;
  HWND Button1 = nullptr;
  HWND Button2 = nullptr;
  HWND Button4 = nullptr;
  HWND Button3 = nullptr;
  HWND Edit1 = nullptr;
  HWND Label1 = nullptr;

  // The graph's six references and the operations on them.
  TPlaybackGraph Graph;

  int Dpi;
  UniqueFont Font;
  UniqueBitmap OpenGlyph;
  UniqueBitmap PlayGlyph;
  UniqueBitmap PauseGlyph;
  UniqueBitmap StopGlyph;
  HWND FocusedControl = nullptr;  // restored when the window is activated again
};
