// Testing.h: what tests need from the layer besides the framework shapes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Dialog.h"

class QWidget;

namespace platform::testing {

// Starts the window system on the calling thread, which becomes the GUI thread, unless one runs.
// Its end shuts the layer down: sends return 0 from then on.
class GuiSession {
public:
    GuiSession();
    ~GuiSession();
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;
};

struct ShownMessageBox {
    HWND owner;
    std::string caption;
    std::string text;
    UINT type;
};
// While on, message boxes are recorded (and answered IDOK) instead of shown.
void RecordMessageBoxes(bool on);
std::vector<ShownMessageBox> TakeMessageBoxes();

// Called on the GUI thread once a dialog's window is shown (after OnInitDialog), from the event
// loop of its modal run. Replaces any previous hook; an empty function removes it.
void SetDialogShownHook(std::function<void(CDialog&)> hook);

// Runs `task` on the GUI thread from its event loop.
void PostToGuiThread(std::function<void()> task);
// Runs the GUI thread's event loop for about `milliseconds`.
void ProcessEvents(int milliseconds);
// Carries out the sends queued so far (only on the GUI thread).
void CarryOutPendingSends();
// Simulates the end of the layer, as at the end of the run: sends return 0 from then on.
void ShutDownLayer();
bool IsLayerShutDown();

// The window's widget, for driving it with input events.
QWidget* WidgetOf(HWND window);
// Saves the window's image as PNG; its size in pixels into width and height.
bool GrabWindow(HWND window, const std::string& pngPath, int* width, int* height);
// Opens the system menu as the right-click menu at a point of the dialog (client pixels).
void OpenSystemMenu(HWND dialog, int x, int y);

struct PaintedIcon {
    HICON icon;
    int x;
    int y;
};
// The icons drawn through CDC::DrawIcon since the last call.
std::vector<PaintedIcon> TakePaintedIcons();

}  // namespace platform::testing
